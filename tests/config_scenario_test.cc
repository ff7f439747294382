// The server and DNS settings dialogues through the real installer: what the
// administrator sees, and what the run leaves on the host.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <optional>
#include <string>
#include <vector>

#include "sandbox/sandbox.h"
#include "tests/installer_run.h"
#include "tests/transcript.h"

namespace {

constexpr char kIllegal[] = "\nIlleagle value.";
constexpr char kNoSpaces[] = "\nIlleagle value (spaces are not allowed).";

// Answers after the server stage of a run without the mail part: defaults
// for all DNS questions, the IP address, and "n" to starting the service.
constexpr char kDefaultDnsAndEnd[] =
    "\n"
    "\n"
    "\n\n\n\n"
    "192.168.1.20\n"
    "n\n";

std::optional<std::string> ConfLine(const Sandbox& sandbox, const std::string& key) {
  auto conf = sandbox.ReadAfter("/etc/Quorvane.conf");
  if (!conf) return std::nullopt;
  size_t at = conf->find("\n" + key + " ");
  if (at == std::string::npos) return std::nullopt;
  size_t end = conf->find('\n', at + 1);
  return conf->substr(at + 1, end - at - 1);
}

std::vector<std::string> Fields(const std::string& line) {
  std::vector<std::string> fields;
  size_t start = 0;
  for (;;) {
    size_t end = line.find(':', start);
    fields.push_back(line.substr(start, end == std::string::npos ? end : end - start));
    if (end == std::string::npos) return fields;
    start = end + 1;
  }
}

Paths AllPaths(const ChangeSet& changes) {
  Paths paths = changes.created;
  paths.insert(paths.end(), changes.changed.begin(), changes.changed.end());
  paths.insert(paths.end(), changes.deleted.begin(), changes.deleted.end());
  return paths;
}

TEST(ServerConfScenarioTest, RefusedNumbersAndNameServersAreAskedAgain) {
  Sandbox sandbox;
  SeedStandardHost(sandbox);
  RunResult run = RunInstaller(sandbox,
                               "n\n"
                               "80 \n0x10\n   \n70000\n65535\n"
                               "\n"
                               "\n"
                               "\n"
                               "ns 1\nns1\t\nns1.example.test.\n"
                               "\n\n\n\n"
                               "192.168.1.20\n"
                               "n\n");
  const std::string port = DefaultPrompt(kPortQuestion, "33333");
  const std::string ns = DefaultPrompt(kNameServerQuestion, "@");
  EXPECT_TRUE(SameTranscript(Opening() + port + kIllegal + port + kIllegal + port + kIllegal +
                                 port + kIllegal + port + DefaultPrompt(kDisconnectQuestion, "30") +
                                 DefaultPrompt(kInstallationQuestion, kDefaultInstallationFolder) +
                                 Line("Success") + DnsOpening() + ns + kNoSpaces + ns + kNoSpaces +
                                 ns + ZoneDefaults() + Line("Success") +
                                 RunEnding(/*started=*/false),
                             run.output));
  EXPECT_EQ(run.exit_status, 0);
  EXPECT_EQ(ConfLine(sandbox, "Port"), "Port 65535");
  EXPECT_EQ(ConfLine(sandbox, "ns1"), "ns1 \"ns1.example.test.\"");
  EXPECT_EQ(ConfLine(sandbox, "AutoDisconnectTime"), "AutoDisconnectTime 30");
}

TEST(ServerConfScenarioTest, ExistingInstallationFolderDeclinedThenTakenOver) {
  Sandbox sandbox;
  SeedStandardHost(sandbox);
  sandbox.SeedDir(kDefaultInstallationFolder, 0700);
  sandbox.Seed(InFolder("/notes.txt"), "kept\n");
  RunResult run = RunInstaller(
      sandbox, std::string("n\n") + "\n\n" + "\n" + "n\n" + "\n" + "Y\n" + kDefaultDnsAndEnd);
  const std::string folder = DefaultPrompt(kInstallationQuestion, kDefaultInstallationFolder);
  EXPECT_TRUE(SameTranscript(Opening() + DefaultNumbers() + folder + kTakeoverQuestion +
                                 Line("File exists") + folder + kTakeoverQuestion +
                                 Line("Success") + DnsDialogue() + RunEnding(/*started=*/false),
                             run.output));
  EXPECT_EQ(run.exit_status, 0);
  EXPECT_EQ(ModeAfter(sandbox, kDefaultInstallationFolder), 0755u);
  EXPECT_EQ(sandbox.ReadAfter(InFolder("/notes.txt")), "kept\n");
}

TEST(ServerConfScenarioTest, TakenOverFolderGetsItsModeBackWhenALaterStageFails) {
  Sandbox sandbox;
  SeedStandardHost(sandbox);
  sandbox.SeedDir(kDefaultInstallationFolder, 0700);
  // Standard input ends at the name server question, after the backup copy.
  RunResult run = RunInstaller(sandbox, "n\n\n\n\nY\n\n");
  EXPECT_TRUE(
      SameTranscript(Opening() + ServerDialogue(MailPart::kNone, /*takeover=*/true) + DnsOpening() +
                         DefaultPrompt(kNameServerQuestion, "@") + Line("") +
                         Abort("Error while getting DNS configuration", "No data available"),
                     run.output));
  EXPECT_EQ(run.exit_status, 1);
  EXPECT_EQ(ModeAfter(sandbox, kDefaultInstallationFolder), 0700u);
  // The backup this run made went back over named.conf.
  EXPECT_FALSE(sandbox.StatAfter("/etc/named.conf.qvbackup"));
  EXPECT_TRUE(sandbox.ReadAfter("/etc/named.conf"));
  EXPECT_EQ(run.changes.created, Paths{kInitLog});
  EXPECT_EQ(run.changes.deleted, Paths{});
}

TEST(ServerConfScenarioTest, MissingParentFolderGivesTheFailedPathAsDefault) {
  Sandbox sandbox;
  SeedStandardHost(sandbox);
  sandbox.SeedRemoved("/opt/qv-missing");
  RunResult run = RunInstaller(sandbox, std::string("n\n") + "\n\n" + "/opt/qv-missing/qv\n" +
                                            "/opt/qv\n" + kDefaultDnsAndEnd);
  EXPECT_TRUE(SameTranscript(Opening() + ServerQuestions() + Line("No such file or directory") +
                                 DefaultPrompt(kInstallationQuestion, "/opt/qv-missing/qv") +
                                 Line("Success") + DnsDialogue() + RunEnding(/*started=*/false),
                             run.output));
  EXPECT_EQ(run.exit_status, 0);
  EXPECT_EQ(ConfLine(sandbox, "InsFolder"), "InsFolder \"/opt/qv\"");
  EXPECT_FALSE(sandbox.StatAfter("/opt/qv-missing"));
}

TEST(ServerConfScenarioTest, FoldersWithShellCharactersAreCreatedAsNamed) {
  for (const std::string folder : {"/opt/qv;cd;touch pwned;x", "/opt/q v"}) {
    Sandbox sandbox;
    SeedStandardHost(sandbox);
    RunResult run = RunInstaller(sandbox, "n\n\n\n" + folder + "\n" + kDefaultDnsAndEnd);
    EXPECT_TRUE(SameTranscript(
        Opening() + ServerDialogue() + DnsDialogue() + RunEnding(/*started=*/false), run.output))
        << folder;
    EXPECT_EQ(run.exit_status, 0) << folder;
    EXPECT_EQ(ModeAfter(sandbox, folder), 0755u) << folder;
    EXPECT_EQ(sandbox.LinkTargetAfter("/usr/bin/quorvane"), folder + "/bin/quorvane");
    EXPECT_EQ(ConfLine(sandbox, "InsFolder"), "InsFolder \"" + folder + "\"");
    for (const std::string& path : AllPaths(run.changes)) {
      EXPECT_FALSE(path.ends_with("/pwned")) << path;
      EXPECT_TRUE(path.starts_with(folder) || !path.starts_with("/opt/")) << path;
    }
  }
}

TEST(CheckDnsScenarioTest, MissingNamedFilesGoThroughThePathConfirmation) {
  Sandbox sandbox;
  SeedStandardHost(sandbox);
  sandbox.SeedRemoved("/etc/named.conf");
  sandbox.SeedRemoved("/var/run/named/named.pid");
  sandbox.Seed("/var/run/qv-named.pid", "4321\n");
  RunResult run = RunInstaller(sandbox, std::string("n\n") + "\n\n\n" + "1\n" + "Y\n" + "n\n" +
                                            "/var/run/qv-named.pid\n" + "\n" + "\n\n\n\n" +
                                            "192.168.1.20\n" + "n\n");
  EXPECT_TRUE(SameTranscript(Opening() + ServerDialogue() + Line("Getting DNS configuration...") +
                                 BindMenu() + Line("\tOK") + Line("1") +
                                 Line("Checking DNS configurationg file.../etc/named.conf") +
                                 "Is this the correct path of named.conf file? ( Y/N ): " +
                                 Line("cp /etc/named.conf /etc/named.conf.qvbackup") +
                                 Line("Checking DNS process id file...\t/var/run/named/named.pid") +
                                 "Is this the correct path of named.pid file? ( Y/N ): " +
                                 "\nEnter full path of named.pid file: " + Line("\tOK") +
                                 DefaultPrompt(kNameServerQuestion, "@") + ZoneDefaults() +
                                 Line("Success") + RunEnding(/*started=*/false),
                             run.output));
  EXPECT_EQ(run.exit_status, 0);
  EXPECT_FALSE(sandbox.StatAfter("/etc/named.conf.qvbackup"));
  EXPECT_EQ(ConfLine(sandbox, "DNSType"), "DNSType \"BIND8\"");
  EXPECT_EQ(ConfLine(sandbox, "NamedConfFile"), "NamedConfFile \"/etc/named.conf\"");
  EXPECT_EQ(ConfLine(sandbox, "NamedPIDFile"), "NamedPIDFile \"/var/run/qv-named.pid\"");
}

TEST(CheckDnsScenarioTest, LeftoverBackupIsNotPutBackByTheRollback) {
  Sandbox sandbox;
  SeedStandardHost(sandbox);
  sandbox.SeedRemoved("/etc/named.conf");
  sandbox.Seed("/etc/named.conf.qvbackup", "// left by an earlier run\n");
  // named.conf accepted although missing; standard input ends at the name server.
  RunResult run = RunInstaller(sandbox, "n\n\n\n\n\nY\n");
  EXPECT_TRUE(SameTranscript(
      Opening() + ServerDialogue() + Line("Getting DNS configuration...") + BindMenu() +
          Line("\tOK") + Line("") + Line("Checking DNS configurationg file.../etc/named.conf") +
          "Is this the correct path of named.conf file? ( Y/N ): " +
          Line("cp /etc/named.conf /etc/named.conf.qvbackup") +
          Line("Checking DNS process id file...\t\tOK") + DefaultPrompt(kNameServerQuestion, "@") +
          Line("") + Abort("Error while getting DNS configuration", "No data available"),
      run.output));
  EXPECT_EQ(run.exit_status, 1);
  EXPECT_FALSE(sandbox.StatAfter("/etc/named.conf"));
  EXPECT_EQ(sandbox.ReadAfter("/etc/named.conf.qvbackup"), "// left by an earlier run\n");
  EXPECT_EQ(run.changes.created, Paths{kInitLog});
}

TEST(CheckDnsScenarioTest, EndOfInputAtTheBindMenuAbortsTheRun) {
  Sandbox sandbox;
  SeedStandardHost(sandbox);
  RunResult run = RunInstaller(sandbox, "n\n\n\n\nx\n");
  EXPECT_TRUE(
      SameTranscript(Opening() + ServerDialogue() + Line("Getting DNS configuration...") +
                         BindMenu() + BindMenu() + Line("") +
                         Abort("Error while getting DNS configuration", "No data available"),
                     run.output));
  EXPECT_EQ(run.exit_status, 1);
  EXPECT_FALSE(sandbox.StatAfter(kDefaultInstallationFolder));
  EXPECT_EQ(run.changes.created, Paths{kInitLog});
}

TEST(ServerConfScenarioTest, PopusersGroupRefusedAbortsAtStageZero) {
  Sandbox sandbox;
  SeedMailHost(sandbox);
  RunResult run = RunInstaller(sandbox, "y\n\n\n\nx\nn\n");
  EXPECT_TRUE(SameTranscript(
      Opening() + ServerQuestions() + "Checking popusers group..." + kPopusersQuestion +
          kPopusersQuestion + Line("Create a popusers group first") +
          Abort("Error while getting Quorvane server configuration", "Operation canceled"),
      run.output));
  EXPECT_EQ(run.exit_status, 1);
  EXPECT_FALSE(sandbox.StatAfter(kDefaultInstallationFolder));
  EXPECT_FALSE(AccountLine(sandbox, "/etc/group", "popusers"));
  EXPECT_EQ(run.changes.created, Paths{kInitLog});
  EXPECT_EQ(run.changes.changed, Paths{});
}

TEST(ServerConfScenarioTest, EndOfInputAtTheGroupQuestionAbortsAtStageZero) {
  Sandbox sandbox;
  SeedMailHost(sandbox);
  RunResult run = RunInstaller(sandbox, "y\n\n\n\n");
  EXPECT_TRUE(SameTranscript(
      Opening() + ServerQuestions() + "Checking popusers group..." + kPopusersQuestion +
          Abort("Error while getting Quorvane server configuration", "No data available"),
      run.output));
  EXPECT_EQ(run.exit_status, 1);
  EXPECT_FALSE(sandbox.StatAfter(kDefaultInstallationFolder));
}

TEST(ServerConfScenarioTest, MailPartCreatesGroupUserAndRootFolder) {
  Sandbox sandbox;
  SeedMailHost(sandbox);
  RunResult run =
      RunInstaller(sandbox, std::string("y\n") + "\n\n\n" + "y\n" + "\n" + kDefaultDnsAndEnd);
  EXPECT_TRUE(SameTranscript(Opening() + ServerDialogue(MailPart::kCreatingGroup) + DnsDialogue() +
                                 MailStages() + RunEnding(/*started=*/false, "xinetd"),
                             run.output));
  EXPECT_EQ(run.exit_status, 0);

  auto group = AccountLine(sandbox, "/etc/group", "popusers");
  ASSERT_TRUE(group);
  auto user = AccountLine(sandbox, "/etc/passwd", "quorvane");
  ASSERT_TRUE(user);
  std::vector<std::string> user_fields = Fields(*user);
  ASSERT_EQ(user_fields.size(), 7u) << *user;
  EXPECT_EQ(user_fields[3], Fields(*group)[2]) << *user << " / " << *group;
  EXPECT_EQ(user_fields[5], kDefaultRootFolder);
  EXPECT_EQ(user_fields[6], "/bin/false");

  auto root = sandbox.StatAfter(kDefaultRootFolder);
  ASSERT_TRUE(root);
  EXPECT_TRUE(S_ISDIR(root->st_mode));
  EXPECT_EQ(std::to_string(root->st_uid), user_fields[2]);
  EXPECT_EQ(std::to_string(root->st_gid), user_fields[3]);
  EXPECT_EQ(ConfLine(sandbox, "RFolder"), "RFolder \"/var/quorvane\"");
}

TEST(ServerConfScenarioTest, PresentGroupAndRootFolderAreUsedAsFound) {
  Sandbox sandbox;
  SeedMailHost(sandbox);
  auto host_group = sandbox.ReadAfter("/etc/group");
  ASSERT_TRUE(host_group);
  sandbox.Seed("/etc/group", *host_group + "popusers:x:4242:\n");
  sandbox.SeedDir("/srv/qv-root", 0700);
  RunResult run =
      RunInstaller(sandbox, std::string("y\n") + "\n\n\n" + "/srv/qv-root\n" + kDefaultDnsAndEnd);
  EXPECT_TRUE(SameTranscript(Opening() + ServerDialogue(MailPart::kGroupPresent) + DnsDialogue() +
                                 MailStages() + RunEnding(/*started=*/false, "xinetd"),
                             run.output));
  EXPECT_EQ(run.exit_status, 0);
  EXPECT_EQ(AccountLine(sandbox, "/etc/group", "popusers"), "popusers:x:4242:");
  auto user = AccountLine(sandbox, "/etc/passwd", "quorvane");
  ASSERT_TRUE(user);
  EXPECT_EQ(Fields(*user)[3], "4242");
  EXPECT_EQ(Fields(*user)[5], "/srv/qv-root");
  auto root = sandbox.StatAfter("/srv/qv-root");
  ASSERT_TRUE(root);
  EXPECT_EQ(root->st_mode & 07777, 0700u);
  EXPECT_EQ(std::to_string(root->st_uid), Fields(*user)[2]);
  EXPECT_EQ(root->st_gid, 4242u);
  EXPECT_FALSE(sandbox.StatAfter(kDefaultRootFolder));
}

}  // namespace
