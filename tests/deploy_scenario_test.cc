// The folder stage and the file stage through the real installer: the
// access list, the address dialogue, the copies and links, and the
// questions about links that are already there.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/installer_run.h"
#include "tests/sandbox.h"
#include "tests/transcript.h"

namespace {

constexpr char kFolder[] = "/usr/local/quorvane";
constexpr char kAccessListHead[] =
    "#This file lists the  IP of the hosts which are\n"
    "#allowed to use the Quorvane server.\n"
    "127.0.0.1\n";
constexpr char kAddressPrompt[] = "\nEnter IP address of your windows Quorvane machine: ";
constexpr char kWrongAddress[] =
    "\nWrong IP address\nEnter valid IP address of your windows Quorvane machine: ";
constexpr char kOverwrite[] = "Do you want to overwrite it? (Y/N): ";

std::string In(const std::string& relative) { return std::string(kFolder) + relative; }

// Answers of a run without the mail part up to (not including) the address.
std::string AnswersBeforeAddress(bool takeover = false) {
  return std::string("n\n") + "\n\n\n" + (takeover ? "y\n" : "") + "\n" + "\n" + "\n\n\n\n";
}

// Transcript of a run without the mail part up to "Creating required folders...".
std::string TranscriptBeforeFolders(bool takeover = false) {
  std::string text =
      Line("Extracting the package...") +
      Line("Do you want to install sendmail controller? (Y/N): ") +
      Line("Getting Quorvane server configuration...") +
      DefaultPrompt("Enter tcp port for Quorvane server (Default: ", "33333") +
      DefaultPrompt("Enter Auto disconnect time (in seconds) for Quorvane server (Default: ",
                    "30") +
      DefaultPrompt("Enter installation folder for Quorvane server (Default: ", kFolder);
  if (takeover) text += "\nFolder already exist.\nDo you want to overwrite it? ( Y/N ): ";
  return text + Line("Success") + Line("Getting DNS configuration...") +
         Line("Which version of BIND you are using?") + Line("1.\tBIND 8.*") +
         Line("2.\tBIND 9.*") + Line("Enter your choice (Default: 2)") +
         "Press Enter for Default: " + Line("\tOK") + Line("") +
         Line("Checking DNS configurationg file...\tOK") +
         Line("cp /etc/named.conf /etc/named.conf.qvbackup") +
         Line("Checking DNS process id file...\t\tOK") +
         DefaultPrompt("Enter default value for the Primary Name Server: (Default: ", "@") +
         DefaultPrompt("Enter default value of Refresh time for DNS: (Default: ", "28800") +
         DefaultPrompt("Enter default value of Retry time for DNS: (Default: ", "7200") +
         DefaultPrompt("Enter default value of Expire time for DNS: (Default: ", "604800") +
         DefaultPrompt("Enter default value of ttl for DNS: (Default: ", "86400") +
         Line("Success") + Line("Creating required folders...");
}

// Transcript after "Copying files..." has succeeded, up to the end of the run.
std::string TranscriptAfterCopies() {
  return Line("Success") + Line("Creating configuration file...") + Line("Success") +
         "Do want to start Quorvane now? (Y/N): " +
         Line("Quorvane server start: this package carries a placeholder for the server program") +
         Line("") + Line("Use command 'quorvane {start|stop|restart}'") +
         Line("to start, stop or restart Quorvane server.");
}

std::string CopyFailure(const char* error_text) {
  return Line("Error while copying files") + Line(error_text) + Line("Installation aborted");
}

std::vector<std::string> Sorted(std::vector<std::string> paths) {
  std::sort(paths.begin(), paths.end());
  return paths;
}

// Paths of `changes` (created ones) that lie below `folder`.
std::vector<std::string> CreatedBelow(const ChangeSet& changes, const std::string& folder) {
  std::vector<std::string> below;
  for (const std::string& path : changes.created) {
    if (path.compare(0, folder.size() + 1, folder + "/") == 0) below.push_back(path);
  }
  return below;
}

TEST(DeployScenarioTest, RunWithoutMailPartCopiesFourFilesAndMakesThreeLinks) {
  Sandbox sandbox;
  SeedStandardHost(sandbox);
  RunResult run = RunInstaller(sandbox, AnswersBeforeAddress() + "192.168.0.1\ny\n");

  EXPECT_TRUE(SameTranscript(TranscriptBeforeFolders() + kAddressPrompt + Line("Success") +
                                 Line("Copying files...") + TranscriptAfterCopies(),
                             run.output));
  EXPECT_EQ(run.exit_status, 0);
  EXPECT_EQ(sandbox.ReadAfter(In("/etc/hosts.allow")),
            std::string(kAccessListHead) + "192.168.0.1\n");
  EXPECT_EQ(CreatedBelow(run.changes, In("/bin")),
            Sorted({In("/bin/libqvdns-0.1.so"), In("/bin/libqvsml-0.1.so"), In("/bin/quorvane"),
                    In("/bin/qvremove")}));
  EXPECT_EQ(CreatedBelow(run.changes, "/usr/lib"),
            Sorted({"/usr/lib/libqvdns-0.1.so", "/usr/lib/libqvsml-0.1.so"}));
  EXPECT_EQ(sandbox.LinkTargetAfter("/usr/lib/libqvdns-0.1.so"), In("/bin/libqvdns-0.1.so"));
  EXPECT_EQ(sandbox.LinkTargetAfter("/usr/lib/libqvsml-0.1.so"), In("/bin/libqvsml-0.1.so"));
  EXPECT_EQ(sandbox.LinkTargetAfter("/usr/bin/quorvane"), In("/bin/quorvane"));
  EXPECT_FALSE(sandbox.StatAfter("/usr/lib/libstdc++-libc6.2-2.so.3"));
  EXPECT_FALSE(sandbox.StatAfter("/etc/vmail"));
  EXPECT_FALSE(sandbox.StatAfter("/var/spool/vmail"));
  EXPECT_FALSE(sandbox.StatAfter(In("/etc/VirtualDomains")));
}

TEST(DeployScenarioTest, AddressIsAskedUntilAcceptedAndWrittenPlain) {
  Sandbox sandbox;
  SeedStandardHost(sandbox);
  const std::vector<std::string> refused = {"",
                                            "1.2.3",
                                            "1.2.3.",
                                            ".1.2.3",
                                            "1..2.3.4",
                                            "1.2.3..4",
                                            " 1.2.3.4",
                                            "1.2.3.4 ",
                                            "10.0.0.255",
                                            "255.1.1.1",
                                            "10.255.0.1",
                                            "0.1.2.3",
                                            "1.2.3.0",
                                            "+1.2.3.4",
                                            "99999999999999999999.1.1.1",
                                            std::string(1100, '1')};
  std::string answers = AnswersBeforeAddress();
  std::string transcript = TranscriptBeforeFolders() + kAddressPrompt;
  for (const std::string& answer : refused) {
    answers += answer + "\n";
    transcript += kWrongAddress;
  }
  answers += "010.001.000.009\ny\n";
  transcript += Line("Success") + Line("Copying files...") + TranscriptAfterCopies();

  RunResult run = RunInstaller(sandbox, answers);
  EXPECT_TRUE(SameTranscript(transcript, run.output));
  EXPECT_EQ(run.exit_status, 0);
  EXPECT_EQ(sandbox.ReadAfter(In("/etc/hosts.allow")), std::string(kAccessListHead) + "10.1.0.9\n");
}

TEST(DeployScenarioTest, AddressesWithTrailingTextKeepOnlyTheFourthNumber) {
  for (const char* answer : {"1.2.3.4.5", "1.2.3.4."}) {
    Sandbox sandbox;
    SeedStandardHost(sandbox);
    RunResult run = RunInstaller(sandbox, AnswersBeforeAddress() + answer + "\nn\n");
    EXPECT_EQ(run.exit_status, 0) << answer;
    EXPECT_EQ(sandbox.ReadAfter(In("/etc/hosts.allow")), std::string(kAccessListHead) + "1.2.3.4\n")
        << answer;
  }
}

TEST(DeployScenarioTest, EndOfInputAtTheAddressAbortsTheInstallation) {
  Sandbox sandbox;
  SeedStandardHost(sandbox);
  RunResult run = RunInstaller(sandbox, AnswersBeforeAddress() + "1.2.3\n");
  EXPECT_TRUE(SameTranscript(TranscriptBeforeFolders() + kAddressPrompt + kWrongAddress + "\n" +
                                 Line("Error while creating required folders") +
                                 Line("No data available") + Line("Installation aborted"),
                             run.output));
  EXPECT_EQ(run.exit_status, 1);
  // The rollback took back everything this run made.
  EXPECT_FALSE(sandbox.StatAfter(kFolder));
  EXPECT_FALSE(sandbox.StatAfter("/QVInstallation"));
  EXPECT_FALSE(sandbox.StatAfter("/usr/bin/quorvane"));
}

TEST(DeployScenarioTest, ExistingAccessListIsKeptAndNoAddressIsAsked) {
  Sandbox sandbox;
  SeedStandardHost(sandbox);
  const std::string kept = "# ours\r\n10.9.8.7\n\n172.16.0.1";  // byte for byte, odd ends too
  sandbox.SeedDir(In("/etc"), 0700);
  sandbox.Seed(In("/etc/hosts.allow"), kept, 0600);
  sandbox.SeedDir(In("/log"), 0700);
  RunResult run = RunInstaller(sandbox, AnswersBeforeAddress(/*takeover=*/true) + "y\n");

  EXPECT_TRUE(SameTranscript(TranscriptBeforeFolders(/*takeover=*/true) + Line("Success") +
                                 Line("Copying files...") + TranscriptAfterCopies(),
                             run.output));
  EXPECT_EQ(run.exit_status, 0);
  EXPECT_EQ(sandbox.ReadAfter(In("/etc/hosts.allow")), kept);
  auto st = sandbox.StatAfter(In("/etc/hosts.allow"));
  ASSERT_TRUE(st);
  EXPECT_EQ(st->st_mode & 07777, 0600u);
  for (const char* sub : {"/etc", "/log"}) {
    auto folder = sandbox.StatAfter(In(sub));
    ASSERT_TRUE(folder) << sub;
    EXPECT_EQ(folder->st_mode & 07777, 0755u) << sub;
  }
}

TEST(DeployScenarioTest, ExistingQuorvaneCommandReplacedOnYes) {
  for (bool as_link : {false, true}) {
    Sandbox sandbox;
    SeedStandardHost(sandbox);
    if (as_link)
      sandbox.SeedSymlink("/usr/bin/quorvane", "/opt/old/quorvane");
    else
      sandbox.Seed("/usr/bin/quorvane", "#!/bin/sh\necho old\n", 0755);
    RunResult run = RunInstaller(sandbox, AnswersBeforeAddress() + "192.168.0.1\ny\ny\n");

    EXPECT_TRUE(SameTranscript(
        TranscriptBeforeFolders() + kAddressPrompt + Line("Success") + Line("Copying files...") +
            Line("Can't create symbolic link for quorvane") +
            Line("/usr/bin/quorvane already exist") + kOverwrite + TranscriptAfterCopies(),
        run.output))
        << (as_link ? "link" : "file");
    EXPECT_EQ(run.exit_status, 0);
    EXPECT_EQ(sandbox.LinkTargetAfter("/usr/bin/quorvane"), In("/bin/quorvane"));
    EXPECT_TRUE(sandbox.StatAfter(In("/bin/qvremove")));
  }
}

TEST(DeployScenarioTest, ExistingQuorvaneCommandKeptOnNoAndTheRunRolledBack) {
  for (const char* refusal : {"N\n", "no\n", ""}) {  // "" is the end of input
    Sandbox sandbox;
    SeedStandardHost(sandbox);
    sandbox.Seed("/usr/bin/quorvane", "#!/bin/sh\necho old\n", 0755);
    RunResult run = RunInstaller(sandbox, AnswersBeforeAddress() + "192.168.0.1\n" + refusal);

    EXPECT_TRUE(SameTranscript(
        TranscriptBeforeFolders() + kAddressPrompt + Line("Success") + Line("Copying files...") +
            Line("Can't create symbolic link for quorvane") +
            Line("/usr/bin/quorvane already exist") + kOverwrite + CopyFailure("File exists"),
        run.output))
        << '"' << refusal << '"';
    EXPECT_EQ(run.exit_status, 1);
    EXPECT_EQ(sandbox.ReadAfter("/usr/bin/quorvane"), "#!/bin/sh\necho old\n");
    // Rolled back: the installation folder with the copies, the working folder
    // and named.conf's backup are gone; the library links stay.
    EXPECT_FALSE(sandbox.StatAfter(kFolder));
    EXPECT_FALSE(sandbox.StatAfter("/QVInstallation"));
    EXPECT_FALSE(sandbox.StatAfter("/etc/Quorvane.conf"));
    EXPECT_EQ(sandbox.LinkTargetAfter("/usr/lib/libqvsml-0.1.so"), In("/bin/libqvsml-0.1.so"));
    for (const std::string& path : run.changes.created)
      EXPECT_EQ(path.find("qvremove"), std::string::npos) << path;
  }
}

TEST(DeployScenarioTest, PathThatCannotBeRemovedIsAskedAboutUntilRefused) {
  Sandbox sandbox;
  SeedStandardHost(sandbox);
  sandbox.Seed("/usr/bin/quorvane/keep", "x");  // a folder with content survives remove
  RunResult run = RunInstaller(sandbox, AnswersBeforeAddress() + "192.168.0.1\ny\nY\nn\n");

  const std::string question = Line("Can't create symbolic link for quorvane") +
                               Line("/usr/bin/quorvane already exist") + kOverwrite;
  EXPECT_TRUE(SameTranscript(TranscriptBeforeFolders() + kAddressPrompt + Line("Success") +
                                 Line("Copying files...") + question + question + question +
                                 CopyFailure("File exists"),
                             run.output));
  EXPECT_EQ(run.exit_status, 1);
  EXPECT_EQ(sandbox.ReadAfter("/usr/bin/quorvane/keep"), "x");
}

TEST(DeployScenarioTest, RollbackOfATakenOverFolderKeepsWhatWasThere) {
  Sandbox sandbox;
  SeedStandardHost(sandbox);
  sandbox.Seed(In("/etc/hosts.allow"), "10.0.0.1\n");
  sandbox.Seed(In("/bin/quorvane"), "old program", 0700);
  sandbox.Seed(In("/bin/notes"), "mine");
  sandbox.Seed("/usr/bin/quorvane", "old command", 0755);
  RunResult run = RunInstaller(sandbox, AnswersBeforeAddress(/*takeover=*/true) + "N\n");

  EXPECT_TRUE(SameTranscript(
      TranscriptBeforeFolders(/*takeover=*/true) + Line("Success") + Line("Copying files...") +
          Line("Can't create symbolic link for quorvane") +
          Line("/usr/bin/quorvane already exist") + kOverwrite + CopyFailure("File exists"),
      run.output));
  EXPECT_EQ(run.exit_status, 1);
  // Copies this run made are gone; what the folder held before stays.
  EXPECT_FALSE(sandbox.StatAfter(In("/bin/libqvdns-0.1.so")));
  EXPECT_FALSE(sandbox.StatAfter(In("/bin/libqvsml-0.1.so")));
  EXPECT_FALSE(sandbox.StatAfter(In("/log")));
  EXPECT_TRUE(sandbox.StatAfter(In("/bin/quorvane")));
  EXPECT_EQ(sandbox.ReadAfter(In("/bin/notes")), "mine");
  EXPECT_EQ(sandbox.ReadAfter(In("/etc/hosts.allow")), "10.0.0.1\n");
  EXPECT_EQ(sandbox.ReadAfter("/usr/bin/quorvane"), "old command");
}

TEST(DeployScenarioTest, ExistingLibraryKeptOnNoStopsBeforeTheSecondLibrary) {
  Sandbox sandbox;
  SeedStandardHost(sandbox);
  sandbox.Seed("/usr/lib/libqvdns-0.1.so", "old library");
  RunResult run = RunInstaller(sandbox, AnswersBeforeAddress() + "192.168.0.1\nN\n");

  EXPECT_TRUE(SameTranscript(
      TranscriptBeforeFolders() + kAddressPrompt + Line("Success") + Line("Copying files...") +
          Line("Can't create symbolic link for libqvdns-0.1.so") +
          Line("/usr/lib/libqvdns-0.1.so already exist") + kOverwrite + CopyFailure("File exists"),
      run.output));
  EXPECT_EQ(run.exit_status, 1);
  EXPECT_EQ(sandbox.ReadAfter("/usr/lib/libqvdns-0.1.so"), "old library");
  for (const std::string& path : run.changes.created) {
    EXPECT_EQ(path.find("libqvsml"), std::string::npos) << path;
    EXPECT_EQ(path.find("quorvane/bin/quorvane"), std::string::npos) << path;
  }
  EXPECT_FALSE(sandbox.StatAfter(kFolder));
}

TEST(DeployScenarioTest, FolderWithShellCharactersGetsTheCopiesAndNothingElseRuns) {
  const std::string folder = "/opt/q v;cd;touch pwned;x";
  Sandbox sandbox;
  SeedStandardHost(sandbox);
  sandbox.SeedDir("/opt");
  RunResult run = RunInstaller(
      sandbox, std::string("n\n") + "\n\n" + folder + "\n" + "\n\n" + "\n\n\n\n" + "1.2.3.4\nn\n");
  EXPECT_EQ(run.exit_status, 0) << run.output;
  for (const char* file : {"libqvdns-0.1.so", "libqvsml-0.1.so", "quorvane", "qvremove"})
    EXPECT_TRUE(sandbox.StatAfter(folder + "/bin/" + file)) << file;
  EXPECT_EQ(sandbox.LinkTargetAfter("/usr/bin/quorvane"), folder + "/bin/quorvane");
  for (const std::string& path : run.changes.created)
    EXPECT_TRUE(path.find("pwned") == std::string::npos || path.find(folder) == 0) << path;
}

TEST(DeployScenarioTest, RunWithMailPartCopiesSevenFilesAndMakesFourLinks) {
  Sandbox sandbox;
  SeedMailHost(sandbox);
  RunResult run = RunInstaller(sandbox, kDefaultMailAnswers);
  EXPECT_EQ(run.exit_status, 0) << run.output;
  EXPECT_EQ(CreatedBelow(run.changes, In("/bin")),
            Sorted({In("/bin/libqvdns-0.1.so"), In("/bin/libqvsml-0.1.so"),
                    In("/bin/libstdc++-3-libc6.2-2-2.10.0.so"), In("/bin/quorvane"),
                    In("/bin/qvremove"), In("/bin/vdeliver"), In("/bin/vpop3d")}));
  EXPECT_EQ(sandbox.LinkTargetAfter("/usr/lib/libstdc++-libc6.2-2.so.3"),
            In("/bin/libstdc++-3-libc6.2-2-2.10.0.so"));
  EXPECT_EQ(sandbox.LinkTargetAfter("/usr/bin/quorvane"), In("/bin/quorvane"));
  EXPECT_EQ(sandbox.ReadAfter(In("/etc/VirtualDomains")),
            "#This file is used by sendmail and it lists the \n#virtual email domains.\n");
  EXPECT_TRUE(sandbox.StatAfter("/etc/vmail"));
  EXPECT_TRUE(sandbox.StatAfter("/var/spool/vmail"));
}

TEST(DeployScenarioTest, ExistingMailFolderIsKeptUnchanged) {
  Sandbox sandbox;
  SeedMailHost(sandbox);
  sandbox.SeedDir("/etc/vmail", 0700);
  sandbox.Seed("/etc/vmail/example.test", "box\n");
  RunResult run = RunInstaller(sandbox, kDefaultMailAnswers);
  EXPECT_EQ(run.exit_status, 0) << run.output;
  auto st = sandbox.StatAfter("/etc/vmail");
  ASSERT_TRUE(st);
  EXPECT_EQ(st->st_mode & 07777, 0700u);
  EXPECT_EQ(sandbox.ReadAfter("/etc/vmail/example.test"), "box\n");
  EXPECT_TRUE(sandbox.StatAfter("/var/spool/vmail"));
}

TEST(DeployScenarioTest, ExistingRuntimeLibraryLinkIsLeftAloneSilently) {
  Sandbox sandbox;
  SeedMailHost(sandbox);
  sandbox.SeedSymlink("/usr/lib/libstdc++-libc6.2-2.so.3", "/lib/elsewhere.so");
  RunResult run = RunInstaller(sandbox, kDefaultMailAnswers);
  EXPECT_EQ(run.exit_status, 0) << run.output;
  EXPECT_EQ(run.output.find("libstdc++"), std::string::npos);
  EXPECT_EQ(sandbox.LinkTargetAfter("/usr/lib/libstdc++-libc6.2-2.so.3"), "/lib/elsewhere.so");
}

}  // namespace
