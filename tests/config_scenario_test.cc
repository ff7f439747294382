// The server and DNS settings dialogues through the real installer: what the
// administrator sees, and what the run leaves on the host.

#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <optional>
#include <string>
#include <vector>

#include "tests/installer_run.h"
#include "tests/sandbox.h"
#include "tests/transcript.h"

namespace {

constexpr char kPort[] = "Enter tcp port for Quorvane server (Default: ";
constexpr char kDisconnect[] =
    "Enter Auto disconnect time (in seconds) for Quorvane server (Default: ";
constexpr char kInstallation[] = "Enter installation folder for Quorvane server (Default: ";
constexpr char kRoot[] = "Enter root folder for Quorvane server (Default: ";
constexpr char kNameServer[] = "Enter default value for the Primary Name Server: (Default: ";
constexpr char kFolder[] = "/usr/local/quorvane";
constexpr char kOverwrite[] = "\nFolder already exist.\nDo you want to overwrite it? ( Y/N ): ";
constexpr char kNoGroup[] = "\npopusers group does not exist\nDo you want to create it? (Y/N): \n";
constexpr char kIllegal[] = "\nIlleagle value.";
constexpr char kNoSpaces[] = "\nIlleagle value (spaces are not allowed).";

// The mail question's answer is not echoed; a line end follows it either way.
std::string Opening() {
  return Line("Extracting the package...") +
         Line("Do you want to install sendmail controller? (Y/N): ") +
         Line("Getting Quorvane server configuration...");
}

std::string DefaultNumbers() {
  return DefaultPrompt(kPort, "33333") + DefaultPrompt(kDisconnect, "30");
}

std::string BindMenu() {
  return Line("Which version of BIND you are using?") + Line("1.\tBIND 8.*") +
         Line("2.\tBIND 9.*") + Line("Enter your choice (Default: 2)") +
         "Press Enter for Default: ";
}

// The DNS dialogue up to the name server question, with named's files present.
std::string DnsOpening() {
  return Line("Getting DNS configuration...") + BindMenu() + Line("\tOK") + Line("") +
         Line("Checking DNS configurationg file...\tOK") +
         Line("cp /etc/named.conf /etc/named.conf.qvbackup") +
         Line("Checking DNS process id file...\t\tOK");
}

std::string ZoneDefaults() {
  return DefaultPrompt("Enter default value of Refresh time for DNS: (Default: ", "28800") +
         DefaultPrompt("Enter default value of Retry time for DNS: (Default: ", "7200") +
         DefaultPrompt("Enter default value of Expire time for DNS: (Default: ", "604800") +
         DefaultPrompt("Enter default value of ttl for DNS: (Default: ", "86400");
}

std::string DefaultDns() {
  return DnsOpening() + DefaultPrompt(kNameServer, "@") + ZoneDefaults() + Line("Success");
}

// Everything after the DNS stage of a run without the mail part, with the
// access list missing and the service not started.
std::string EndingWithoutMail() {
  return Line("Creating required folders...") +
         "\nEnter IP address of your windows Quorvane machine: " + Line("Success") +
         Line("Copying files...") + Line("Success") + Line("Creating configuration file...") +
         Line("Success") + "Do want to start Quorvane now? (Y/N): " + Line("") +
         Line("Use command 'quorvane {start|stop|restart}'") +
         Line("to start, stop or restart Quorvane server.");
}

// Answers after the server stage of a run without the mail part: defaults
// for all DNS questions, the IP address, and "n" to starting the service.
constexpr char kDefaultDnsAndEnd[] =
    "\n"
    "\n"
    "\n\n\n\n"
    "192.168.1.20\n"
    "n\n";

std::string Abort(const char* error_line, const char* error_text) {
  return Line(error_line) + Line(error_text) + Line("Installation aborted");
}

mode_t ModeAfter(const Sandbox& sandbox, const std::string& path) {
  auto st = sandbox.StatAfter(path);
  return st ? st->st_mode & 07777 : 0;
}

std::optional<std::string> ConfLine(const Sandbox& sandbox, const std::string& key) {
  auto conf = sandbox.ReadAfter("/etc/Quorvane.conf");
  if (!conf) return std::nullopt;
  size_t at = conf->find("\n" + key + " ");
  if (at == std::string::npos) return std::nullopt;
  size_t end = conf->find('\n', at + 1);
  return conf->substr(at + 1, end - at - 1);
}

// The line of `name` in an account database file (passwd or group), if any.
std::optional<std::string> AccountLine(const Sandbox& sandbox, const char* file,
                                       const std::string& name) {
  auto content = sandbox.ReadAfter(file);
  if (!content) return std::nullopt;
  std::string text = "\n" + *content;
  size_t at = text.find("\n" + name + ":");
  if (at == std::string::npos) return std::nullopt;
  size_t end = text.find('\n', at + 1);
  return text.substr(at + 1, end == std::string::npos ? std::string::npos : end - at - 1);
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

std::vector<std::string> AllPaths(const ChangeSet& changes) {
  std::vector<std::string> paths = changes.created;
  paths.insert(paths.end(), changes.changed.begin(), changes.changed.end());
  paths.insert(paths.end(), changes.deleted.begin(), changes.deleted.end());
  return paths;
}

TEST(ServerConfScenarioTest, RefusedNumbersAndNameServersAreAskedAgain) {
  Sandbox sandbox;
  SeedStandardHost(sandbox);
  RunResult run = RunInstaller(sandbox,
                               "n\n"
                               "80 \n0x10\n   \n-1\n"
                               "\n"
                               "\n"
                               "\n"
                               "ns 1\nns1\t\nns1.example.test.\n"
                               "\n\n\n\n"
                               "192.168.1.20\n"
                               "n\n");
  const std::string port = DefaultPrompt(kPort, "33333");
  const std::string ns = DefaultPrompt(kNameServer, "@");
  EXPECT_TRUE(SameTranscript(Opening() + port + kIllegal + port + kIllegal + port + kIllegal +
                                 port + DefaultPrompt(kDisconnect, "30") +
                                 DefaultPrompt(kInstallation, kFolder) + Line("Success") +
                                 DnsOpening() + ns + kNoSpaces + ns + kNoSpaces + ns +
                                 ZoneDefaults() + Line("Success") + EndingWithoutMail(),
                             run.output));
  EXPECT_EQ(run.exit_status, 0);
  EXPECT_EQ(ConfLine(sandbox, "Port"), "Port 4294967295");
  EXPECT_EQ(ConfLine(sandbox, "ns1"), "ns1 \"ns1.example.test.\"");
  EXPECT_EQ(ConfLine(sandbox, "AutoDisconnectTime"), "AutoDisconnectTime 30");
}

TEST(ServerConfScenarioTest, ExistingInstallationFolderDeclinedThenTakenOver) {
  Sandbox sandbox;
  SeedStandardHost(sandbox);
  sandbox.SeedDir(kFolder, 0700);
  sandbox.Seed(std::string(kFolder) + "/notes.txt", "kept\n");
  RunResult run = RunInstaller(
      sandbox, std::string("n\n") + "\n\n" + "\n" + "n\n" + "\n" + "Y\n" + kDefaultDnsAndEnd);
  const std::string folder = DefaultPrompt(kInstallation, kFolder);
  EXPECT_TRUE(SameTranscript(Opening() + DefaultNumbers() + folder + kOverwrite +
                                 Line("File exists") + folder + kOverwrite + Line("Success") +
                                 DefaultDns() + EndingWithoutMail(),
                             run.output));
  EXPECT_EQ(run.exit_status, 0);
  EXPECT_EQ(ModeAfter(sandbox, kFolder), 0755u);
  EXPECT_EQ(sandbox.ReadAfter(std::string(kFolder) + "/notes.txt"), "kept\n");
}

TEST(ServerConfScenarioTest, TakenOverFolderGetsItsModeBackWhenALaterStageFails) {
  Sandbox sandbox;
  SeedStandardHost(sandbox);
  sandbox.SeedDir(kFolder, 0700);
  // Standard input ends at the name server question, after the backup copy.
  RunResult run = RunInstaller(sandbox, "n\n\n\n\nY\n\n");
  EXPECT_TRUE(SameTranscript(
      Opening() + DefaultNumbers() + DefaultPrompt(kInstallation, kFolder) + kOverwrite +
          Line("Success") + DnsOpening() + DefaultPrompt(kNameServer, "@") + Line("") +
          Abort("Error while getting DNS configuration", "No data available"),
      run.output));
  EXPECT_EQ(run.exit_status, 1);
  EXPECT_EQ(ModeAfter(sandbox, kFolder), 0700u);
  // The backup this run made went back over named.conf.
  EXPECT_FALSE(sandbox.StatAfter("/etc/named.conf.qvbackup"));
  EXPECT_TRUE(sandbox.ReadAfter("/etc/named.conf"));
  EXPECT_EQ(run.changes.created, std::vector<std::string>{kInitLog});
  EXPECT_EQ(run.changes.deleted, std::vector<std::string>{});
}

TEST(ServerConfScenarioTest, MissingParentFolderGivesTheFailedPathAsDefault) {
  Sandbox sandbox;
  SeedStandardHost(sandbox);
  sandbox.SeedRemoved("/opt/qv-missing");
  RunResult run = RunInstaller(sandbox, std::string("n\n") + "\n\n" + "/opt/qv-missing/qv\n" +
                                            "/opt/qv\n" + kDefaultDnsAndEnd);
  EXPECT_TRUE(SameTranscript(Opening() + DefaultNumbers() + DefaultPrompt(kInstallation, kFolder) +
                                 Line("No such file or directory") +
                                 DefaultPrompt(kInstallation, "/opt/qv-missing/qv") +
                                 Line("Success") + DefaultDns() + EndingWithoutMail(),
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
    EXPECT_TRUE(SameTranscript(Opening() + DefaultNumbers() +
                                   DefaultPrompt(kInstallation, kFolder) + Line("Success") +
                                   DefaultDns() + EndingWithoutMail(),
                               run.output))
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
  EXPECT_TRUE(SameTranscript(
      Opening() + DefaultNumbers() + DefaultPrompt(kInstallation, kFolder) + Line("Success") +
          Line("Getting DNS configuration...") + BindMenu() + Line("\tOK") + Line("1") +
          Line("Checking DNS configurationg file.../etc/named.conf") +
          "Is this the correct path of named.conf file? ( Y/N ): " +
          Line("cp /etc/named.conf /etc/named.conf.qvbackup") +
          Line("Checking DNS process id file...\t/var/run/named/named.pid") +
          "Is this the correct path of named.pid file? ( Y/N ): " +
          "\nEnter full path of named.pid file: " + Line("\tOK") + DefaultPrompt(kNameServer, "@") +
          ZoneDefaults() + Line("Success") + EndingWithoutMail(),
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
      Opening() + DefaultNumbers() + DefaultPrompt(kInstallation, kFolder) + Line("Success") +
          Line("Getting DNS configuration...") + BindMenu() + Line("\tOK") + Line("") +
          Line("Checking DNS configurationg file.../etc/named.conf") +
          "Is this the correct path of named.conf file? ( Y/N ): " +
          Line("cp /etc/named.conf /etc/named.conf.qvbackup") +
          Line("Checking DNS process id file...\t\tOK") + DefaultPrompt(kNameServer, "@") +
          Line("") + Abort("Error while getting DNS configuration", "No data available"),
      run.output));
  EXPECT_EQ(run.exit_status, 1);
  EXPECT_FALSE(sandbox.StatAfter("/etc/named.conf"));
  EXPECT_EQ(sandbox.ReadAfter("/etc/named.conf.qvbackup"), "// left by an earlier run\n");
  EXPECT_EQ(run.changes.created, std::vector<std::string>{kInitLog});
}

TEST(CheckDnsScenarioTest, EndOfInputAtTheBindMenuAbortsTheRun) {
  Sandbox sandbox;
  SeedStandardHost(sandbox);
  RunResult run = RunInstaller(sandbox, "n\n\n\n\nx\n");
  EXPECT_TRUE(SameTranscript(
      Opening() + DefaultNumbers() + DefaultPrompt(kInstallation, kFolder) + Line("Success") +
          Line("Getting DNS configuration...") + BindMenu() + BindMenu() + Line("") +
          Abort("Error while getting DNS configuration", "No data available"),
      run.output));
  EXPECT_EQ(run.exit_status, 1);
  EXPECT_FALSE(sandbox.StatAfter(kFolder));
  EXPECT_EQ(run.changes.created, std::vector<std::string>{kInitLog});
}

TEST(ServerConfScenarioTest, PopusersGroupRefusedAbortsAtStageZero) {
  Sandbox sandbox;
  SeedMailHost(sandbox);
  RunResult run = RunInstaller(sandbox, "y\n\n\n\nx\nn\n");
  EXPECT_TRUE(SameTranscript(
      Opening() + DefaultNumbers() + DefaultPrompt(kInstallation, kFolder) +
          "Checking popusers group..." + kNoGroup + kNoGroup +
          Line("Create a popusers group first") +
          Abort("Error while getting Quorvane server configuration", "Operation canceled"),
      run.output));
  EXPECT_EQ(run.exit_status, 1);
  EXPECT_FALSE(sandbox.StatAfter(kFolder));
  EXPECT_FALSE(AccountLine(sandbox, "/etc/group", "popusers"));
  EXPECT_EQ(run.changes.created, std::vector<std::string>{kInitLog});
  EXPECT_EQ(run.changes.changed, std::vector<std::string>{});
}

TEST(ServerConfScenarioTest, EndOfInputAtTheGroupQuestionAbortsAtStageZero) {
  Sandbox sandbox;
  SeedMailHost(sandbox);
  RunResult run = RunInstaller(sandbox, "y\n\n\n\n");
  EXPECT_TRUE(SameTranscript(
      Opening() + DefaultNumbers() + DefaultPrompt(kInstallation, kFolder) +
          "Checking popusers group..." + kNoGroup +
          Abort("Error while getting Quorvane server configuration", "No data available"),
      run.output));
  EXPECT_EQ(run.exit_status, 1);
  EXPECT_FALSE(sandbox.StatAfter(kFolder));
}

// The server dialogue of a mail run that creates the group and the user.
std::string MailServerDialogue() {
  return Opening() + DefaultNumbers() + DefaultPrompt(kInstallation, kFolder) +
         "Checking popusers group..." + kNoGroup + Line("OK") +
         DefaultPrompt(kRoot, "/var/quorvane") + Line("Success");
}

// Everything after the DNS stage of a mail run on SeedMailHost, with the
// service not started.
std::string EndingWithMail() {
  return Line("Updating sendmail...") + Line("Checking mail group...\tOK") +
         Line("Checking sendmail configurationg file...\tOK") +
         Line("Checking sendmail process id file...\t\tOK") + Line("Success") +
         Line("Updating pop3 server...") + Line("Success") + Line("Creating required folders...") +
         "\nEnter IP address of your windows Quorvane machine: " + Line("Success") +
         Line("Copying files...") + Line("Success") + Line("Creating configuration file...") +
         Line("Success") + Line("Restarting sendmail and pop server") + Line("Please wait...") +
         Line("sendmail restart: done") + Line("xinetd restart: done") +
         "Do want to start Quorvane now? (Y/N): " + Line("") +
         Line("Use command 'quorvane {start|stop|restart}'") +
         Line("to start, stop or restart Quorvane server.");
}

TEST(ServerConfScenarioTest, MailPartCreatesGroupUserAndRootFolder) {
  Sandbox sandbox;
  SeedMailHost(sandbox);
  RunResult run =
      RunInstaller(sandbox, std::string("y\n") + "\n\n\n" + "y\n" + "\n" + kDefaultDnsAndEnd);
  EXPECT_TRUE(SameTranscript(MailServerDialogue() + DefaultDns() + EndingWithMail(), run.output));
  EXPECT_EQ(run.exit_status, 0);

  auto group = AccountLine(sandbox, "/etc/group", "popusers");
  ASSERT_TRUE(group);
  auto user = AccountLine(sandbox, "/etc/passwd", "quorvane");
  ASSERT_TRUE(user);
  std::vector<std::string> user_fields = Fields(*user);
  ASSERT_EQ(user_fields.size(), 7u) << *user;
  EXPECT_EQ(user_fields[3], Fields(*group)[2]) << *user << " / " << *group;
  EXPECT_EQ(user_fields[5], "/var/quorvane");
  EXPECT_EQ(user_fields[6], "/bin/false");

  auto root = sandbox.StatAfter("/var/quorvane");
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
  EXPECT_TRUE(SameTranscript(Opening() + DefaultNumbers() + DefaultPrompt(kInstallation, kFolder) +
                                 Line("Checking popusers group...OK") +
                                 DefaultPrompt(kRoot, "/var/quorvane") + Line("Success") +
                                 DefaultDns() + EndingWithMail(),
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
  EXPECT_FALSE(sandbox.StatAfter("/var/quorvane"));
}

}  // namespace
