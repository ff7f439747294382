// The folder stage and the file stage through the real installer: the
// access list, the address dialogue, the copies and links, and the
// questions about links that are already there.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sandbox/sandbox.h"
#include "tests/installer_run.h"
#include "tests/transcript.h"

namespace {

constexpr char kAccessListHead[] =
    "#This file lists the  IP of the hosts which are\n"
    "#allowed to use the Quorvane server.\n"
    "127.0.0.1\n";
constexpr char kWrongAddress[] =
    "\nWrong IP address\nEnter valid IP address of your windows Quorvane machine: ";

// As AnswersUpToAddress(MailPart::kNone, /*takeover=*/true), with the folder
// taken over on a lower case "y".
std::string AnswersUpToAddressTakingOver() {
  return ServerAnswers(MailPart::kNone) + "y\n" + kDnsAnswers;
}

// After "Copying files..." has succeeded, to the end of the run.
std::string TranscriptAfterCopies() {
  return Line("Success") + Line("Creating configuration file...") + Line("Success") +
         StartAndUsage(/*started=*/true);
}

// Paths of `changes` (created ones) that lie below `folder`.
Paths CreatedBelow(const ChangeSet& changes, const std::string& folder) {
  Paths below;
  for (const std::string& path : changes.created) {
    if (path.compare(0, folder.size() + 1, folder + "/") == 0) below.push_back(path);
  }
  return below;
}

TEST(DeployScenarioTest, RunWithoutMailPartCopiesFourFilesAndMakesThreeLinks) {
  Sandbox sandbox;
  SeedStandardHost(sandbox);
  RunResult run = RunInstaller(sandbox, AnswersUpToAddress() + "192.168.0.1\ny\n");

  EXPECT_TRUE(SameTranscript(UpToCopies() + TranscriptAfterCopies(), run.output));
  EXPECT_EQ(run.exit_status, 0);
  EXPECT_EQ(sandbox.ReadAfter(InFolder("/etc/hosts.allow")),
            std::string(kAccessListHead) + "192.168.0.1\n");
  EXPECT_EQ(CreatedBelow(run.changes, InFolder("/bin")),
            Sorted({InFolder("/bin/libqvdns-0.1.so"), InFolder("/bin/libqvsml-0.1.so"),
                    InFolder("/bin/quorvane"), InFolder("/bin/qvremove")}));
  EXPECT_EQ(CreatedBelow(run.changes, "/usr/lib"),
            Sorted({"/usr/lib/libqvdns-0.1.so", "/usr/lib/libqvsml-0.1.so"}));
  EXPECT_EQ(sandbox.LinkTargetAfter("/usr/lib/libqvdns-0.1.so"), InFolder("/bin/libqvdns-0.1.so"));
  EXPECT_EQ(sandbox.LinkTargetAfter("/usr/lib/libqvsml-0.1.so"), InFolder("/bin/libqvsml-0.1.so"));
  EXPECT_EQ(sandbox.LinkTargetAfter("/usr/bin/quorvane"), InFolder("/bin/quorvane"));
  EXPECT_FALSE(sandbox.StatAfter("/usr/lib/libstdc++-libc6.2-2.so.3"));
  EXPECT_FALSE(sandbox.StatAfter("/etc/vmail"));
  EXPECT_FALSE(sandbox.StatAfter("/var/spool/vmail"));
  EXPECT_FALSE(sandbox.StatAfter(InFolder("/etc/VirtualDomains")));
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
  std::string answers = AnswersUpToAddress();
  std::string transcript = UpToFolders() + kAddressPrompt;
  for (const std::string& answer : refused) {
    answers += answer + "\n";
    transcript += kWrongAddress;
  }
  answers += "010.001.000.009\ny\n";
  transcript += Line("Success") + Line("Copying files...") + TranscriptAfterCopies();

  RunResult run = RunInstaller(sandbox, answers);
  EXPECT_TRUE(SameTranscript(transcript, run.output));
  EXPECT_EQ(run.exit_status, 0);
  EXPECT_EQ(sandbox.ReadAfter(InFolder("/etc/hosts.allow")),
            std::string(kAccessListHead) + "10.1.0.9\n");
}

TEST(DeployScenarioTest, AddressesWithTrailingTextKeepOnlyTheFourthNumber) {
  for (const char* answer : {"1.2.3.4.5", "1.2.3.4."}) {
    Sandbox sandbox;
    SeedStandardHost(sandbox);
    RunResult run = RunInstaller(sandbox, AnswersUpToAddress() + answer + "\nn\n");
    EXPECT_EQ(run.exit_status, 0) << answer;
    EXPECT_EQ(sandbox.ReadAfter(InFolder("/etc/hosts.allow")),
              std::string(kAccessListHead) + "1.2.3.4\n")
        << answer;
  }
}

TEST(DeployScenarioTest, EndOfInputAtTheAddressAbortsTheInstallation) {
  Sandbox sandbox;
  SeedStandardHost(sandbox);
  RunResult run = RunInstaller(sandbox, AnswersUpToAddress() + "1.2.3\n");
  EXPECT_TRUE(
      SameTranscript(UpToFolders() + kAddressPrompt + kWrongAddress + "\n" +
                         Abort("Error while creating required folders", "No data available"),
                     run.output));
  EXPECT_EQ(run.exit_status, 1);
  // The rollback took back everything this run made.
  EXPECT_FALSE(sandbox.StatAfter(kDefaultInstallationFolder));
  EXPECT_FALSE(sandbox.StatAfter(kWorkingFolder));
  EXPECT_FALSE(sandbox.StatAfter("/usr/bin/quorvane"));
}

TEST(DeployScenarioTest, ExistingAccessListIsKeptAndNoAddressIsAsked) {
  Sandbox sandbox;
  SeedStandardHost(sandbox);
  const std::string kept = "# ours\r\n10.9.8.7\n\n172.16.0.1";  // byte for byte, odd ends too
  sandbox.SeedDir(InFolder("/etc"), 0700);
  sandbox.Seed(InFolder("/etc/hosts.allow"), kept, 0600);
  sandbox.SeedDir(InFolder("/log"), 0700);
  RunResult run = RunInstaller(sandbox, AnswersUpToAddressTakingOver() + "y\n");

  EXPECT_TRUE(SameTranscript(UpToFolders(MailPart::kNone, /*takeover=*/true) + Line("Success") +
                                 Line("Copying files...") + TranscriptAfterCopies(),
                             run.output));
  EXPECT_EQ(run.exit_status, 0);
  EXPECT_EQ(sandbox.ReadAfter(InFolder("/etc/hosts.allow")), kept);
  EXPECT_EQ(ModeAfter(sandbox, InFolder("/etc/hosts.allow")), 0600u);
  for (const char* sub : {"/etc", "/log"})
    EXPECT_EQ(ModeAfter(sandbox, InFolder(sub)), 0755u) << sub;
}

TEST(DeployScenarioTest, ExistingQuorvaneCommandReplacedOnYes) {
  for (bool as_link : {false, true}) {
    Sandbox sandbox;
    SeedStandardHost(sandbox);
    if (as_link)
      sandbox.SeedSymlink("/usr/bin/quorvane", "/opt/old/quorvane");
    else
      sandbox.Seed("/usr/bin/quorvane", "#!/bin/sh\necho old\n", 0755);
    RunResult run = RunInstaller(sandbox, AnswersUpToAddress() + "192.168.0.1\ny\ny\n");

    EXPECT_TRUE(SameTranscript(
        UpToCopies() + LinkInTheWay("quorvane", "/usr/bin/quorvane") + TranscriptAfterCopies(),
        run.output))
        << (as_link ? "link" : "file");
    EXPECT_EQ(run.exit_status, 0);
    EXPECT_EQ(sandbox.LinkTargetAfter("/usr/bin/quorvane"), InFolder("/bin/quorvane"));
    EXPECT_TRUE(sandbox.StatAfter(InFolder("/bin/qvremove")));
  }
}

TEST(DeployScenarioTest, ExistingQuorvaneCommandKeptOnNoAndTheRunRolledBack) {
  for (const char* refusal : {"N\n", "no\n", ""}) {  // "" is the end of input
    Sandbox sandbox;
    SeedStandardHost(sandbox);
    sandbox.Seed("/usr/bin/quorvane", "#!/bin/sh\necho old\n", 0755);
    RunResult run = RunInstaller(sandbox, AnswersUpToAddress() + "192.168.0.1\n" + refusal);

    EXPECT_TRUE(SameTranscript(UpToCopies() + LinkInTheWay("quorvane", "/usr/bin/quorvane") +
                                   Abort("Error while copying files", "File exists"),
                               run.output))
        << '"' << refusal << '"';
    EXPECT_EQ(run.exit_status, 1);
    EXPECT_EQ(sandbox.ReadAfter("/usr/bin/quorvane"), "#!/bin/sh\necho old\n");
    // Rolled back: the installation folder with the copies, the working folder
    // and named.conf's backup are gone; the library links stay.
    EXPECT_FALSE(sandbox.StatAfter(kDefaultInstallationFolder));
    EXPECT_FALSE(sandbox.StatAfter(kWorkingFolder));
    EXPECT_FALSE(sandbox.StatAfter("/etc/Quorvane.conf"));
    EXPECT_EQ(sandbox.LinkTargetAfter("/usr/lib/libqvsml-0.1.so"),
              InFolder("/bin/libqvsml-0.1.so"));
    for (const std::string& path : run.changes.created)
      EXPECT_EQ(path.find("qvremove"), std::string::npos) << path;
  }
}

TEST(DeployScenarioTest, PathThatCannotBeRemovedIsAskedAboutUntilRefused) {
  Sandbox sandbox;
  SeedStandardHost(sandbox);
  sandbox.Seed("/usr/bin/quorvane/keep", "x");  // a folder with content survives remove
  RunResult run = RunInstaller(sandbox, AnswersUpToAddress() + "192.168.0.1\ny\nY\nn\n");

  const std::string question = LinkInTheWay("quorvane", "/usr/bin/quorvane");
  EXPECT_TRUE(SameTranscript(UpToCopies() + question + question + question +
                                 Abort("Error while copying files", "File exists"),
                             run.output));
  EXPECT_EQ(run.exit_status, 1);
  EXPECT_EQ(sandbox.ReadAfter("/usr/bin/quorvane/keep"), "x");
}

TEST(DeployScenarioTest, RollbackOfATakenOverFolderKeepsWhatWasThere) {
  Sandbox sandbox;
  SeedStandardHost(sandbox);
  sandbox.Seed(InFolder("/etc/hosts.allow"), "10.0.0.1\n");
  sandbox.Seed(InFolder("/bin/quorvane"), "old program", 0700);
  sandbox.Seed(InFolder("/bin/notes"), "mine");
  sandbox.Seed("/usr/bin/quorvane", "old command", 0755);
  RunResult run = RunInstaller(sandbox, AnswersUpToAddressTakingOver() + "N\n");

  EXPECT_TRUE(SameTranscript(UpToFolders(MailPart::kNone, /*takeover=*/true) + Line("Success") +
                                 Line("Copying files...") +
                                 LinkInTheWay("quorvane", "/usr/bin/quorvane") +
                                 Abort("Error while copying files", "File exists"),
                             run.output));
  EXPECT_EQ(run.exit_status, 1);
  // Copies this run made are gone; what the folder held before stays.
  EXPECT_FALSE(sandbox.StatAfter(InFolder("/bin/libqvdns-0.1.so")));
  EXPECT_FALSE(sandbox.StatAfter(InFolder("/bin/libqvsml-0.1.so")));
  EXPECT_FALSE(sandbox.StatAfter(InFolder("/log")));
  EXPECT_TRUE(sandbox.StatAfter(InFolder("/bin/quorvane")));
  EXPECT_EQ(sandbox.ReadAfter(InFolder("/bin/notes")), "mine");
  EXPECT_EQ(sandbox.ReadAfter(InFolder("/etc/hosts.allow")), "10.0.0.1\n");
  EXPECT_EQ(sandbox.ReadAfter("/usr/bin/quorvane"), "old command");
}

TEST(DeployScenarioTest, ExistingLibraryKeptOnNoStopsBeforeTheSecondLibrary) {
  Sandbox sandbox;
  SeedStandardHost(sandbox);
  sandbox.Seed("/usr/lib/libqvdns-0.1.so", "old library");
  RunResult run = RunInstaller(sandbox, AnswersUpToAddress() + "192.168.0.1\nN\n");

  EXPECT_TRUE(SameTranscript(UpToCopies() +
                                 LinkInTheWay("libqvdns-0.1.so", "/usr/lib/libqvdns-0.1.so") +
                                 Abort("Error while copying files", "File exists"),
                             run.output));
  EXPECT_EQ(run.exit_status, 1);
  EXPECT_EQ(sandbox.ReadAfter("/usr/lib/libqvdns-0.1.so"), "old library");
  for (const std::string& path : run.changes.created) {
    EXPECT_EQ(path.find("libqvsml"), std::string::npos) << path;
    EXPECT_EQ(path.find("quorvane/bin/quorvane"), std::string::npos) << path;
  }
  EXPECT_FALSE(sandbox.StatAfter(kDefaultInstallationFolder));
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
  EXPECT_EQ(
      CreatedBelow(run.changes, InFolder("/bin")),
      Sorted({InFolder("/bin/libqvdns-0.1.so"), InFolder("/bin/libqvsml-0.1.so"),
              InFolder("/bin/libstdc++-3-libc6.2-2-2.10.0.so"), InFolder("/bin/quorvane"),
              InFolder("/bin/qvremove"), InFolder("/bin/vdeliver"), InFolder("/bin/vpop3d")}));
  EXPECT_EQ(sandbox.LinkTargetAfter("/usr/lib/libstdc++-libc6.2-2.so.3"),
            InFolder("/bin/libstdc++-3-libc6.2-2-2.10.0.so"));
  EXPECT_EQ(sandbox.LinkTargetAfter("/usr/bin/quorvane"), InFolder("/bin/quorvane"));
  EXPECT_EQ(sandbox.ReadAfter(InFolder("/etc/VirtualDomains")),
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
  EXPECT_EQ(ModeAfter(sandbox, "/etc/vmail"), 0700u);
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
