// Runs that meet each other or lose their console: two installers at once,
// the reader of the output gone, a stop signal during the rollback or while
// a command runs, and an account tool that fails.

#include <gtest/gtest.h>
#include <signal.h>

#include <functional>
#include <string>
#include <vector>

#include "sandbox/sandbox.h"
#include "tests/installer_run.h"
#include "tests/transcript.h"

namespace {

constexpr char kLockFile[] = "/run/qvinstall.lock";

// A stand-in for a system tool that says when it has started and then
// works for a long time; a SIGTERM makes it say that it was stopped.
std::string StoppableTool(const std::string& name) {
  return "#!/bin/sh\ntrap 'echo " + name + ": stopped >&2; exit 1' TERM\necho '" + name +
         ": started' >&2\nsleep 30 &\nwait\n";
}

TEST(RunSafetyScenarioTest, SecondInstallerIsRefusedWhileTheFirstRuns) {
  Sandbox sandbox;
  SeedStandardHost(sandbox);
  RunResult run = RunScript(sandbox, ScriptUpToFirstQuestion("/tmp/first.out") +
                                         "./qvinstall < /dev/null; echo \"second: $?\"\n"
                                         "printf '%s' " +
                                         ShellWord(kDefaultAnswers) +
                                         " >&3\n"
                                         "exec 3>&-\n"
                                         "wait $installer; echo \"first: $?\"\n");

  EXPECT_EQ(run.output,
            Line("Another Quorvane server installation is running.") + "second: 1\nfirst: 0\n");
  EXPECT_TRUE(SameTranscript(Opening() + ServerDialogue() + DnsDialogue() + RunEnding(true),
                             sandbox.ReadAfter("/tmp/first.out").value_or("")));
  EXPECT_FALSE(sandbox.StatAfter(kLockFile));
}

// The reader of the output quits while the installer waits at the name
// server question; the next question finds no one to ask. The answers after
// that question are given only once the reader has gone.
TEST(RunSafetyScenarioTest, OutputReaderGoneEndsTheRunAsEndOfInputDoes) {
  Sandbox sandbox;
  SeedStandardHost(sandbox);
  const std::string up_to_name_server = ServerAnswers(MailPart::kNone) + "\n";
  const std::string rest = std::string("\n\n\n\n\n") + kAddress + "y\n";
  RunResult run =
      RunScript(sandbox, std::string(kAwaitFunctions) + "cd " + DistDir() + "\n{ printf '%s' " +
                             ShellWord(up_to_name_server) +
                             "; await '[ -e /tmp/reader-gone ]'; printf '%s' " + ShellWord(rest) +
                             "; } |\n{ ./qvinstall; echo $? > /tmp/status; } |\n"
                             "{ sed '/Getting DNS configuration/q'; touch /tmp/reader-gone; }\n"
                             "rm /tmp/reader-gone\n");

  EXPECT_TRUE(SameTranscript(Opening() + ServerDialogue() + Line("Getting DNS configuration..."),
                             run.output));
  EXPECT_EQ(sandbox.ReadAfter("/tmp/status"), "1\n");
  EXPECT_EQ(run.changes.created, Sorted({kInitLog, "/tmp/status"})) << run.changes.ToString();
  EXPECT_EQ(run.changes.changed, Paths{}) << run.changes.ToString();
  EXPECT_EQ(run.changes.deleted, Paths{}) << run.changes.ToString();
}

// SIGTERM while the rollback deletes the system user: the rollback ends
// its work and the run ends as rolled back. The stand-in userdel goes on
// only once the installer holds the signal for later.
TEST(RunSafetyScenarioTest, StopSignalWaitsUntilTheRollbackIsDone) {
  Sandbox sandbox;
  SeedMailHost(sandbox);
  sandbox.SeedCopy("/usr/sbin/userdel.real", "/usr/sbin/userdel");
  sandbox.Seed("/usr/sbin/userdel",
               "#!/bin/sh\n" + std::string(kAwaitFunctions) +
                   "echo 'userdel: started' >&2\nawait_deferred qvinstall " +
                   std::to_string(SIGTERM) + "\nexec /usr/sbin/userdel.real \"$@\"\n",
               0755);
  RunOptions options;
  options.signal_after = "userdel: started";
  options.signal = SIGTERM;
  RunResult run = RunOnConsole(sandbox, AnswersUpToAddress(MailPart::kCreatingGroup), options);

  EXPECT_TRUE(run.signal_sent);
  EXPECT_EQ(run.exit_status, 1);
  EXPECT_TRUE(
      SameTranscript(UpToFolders(MailPart::kCreatingGroup) + kAddressPrompt + "\n" +
                         Abort("Error while creating required folders", "No data available") +
                         Line("userdel: started"),
                     run.output));
  EXPECT_FALSE(AccountLine(sandbox, "/etc/passwd", "quorvane"));
  for (const char* path : {kWorkingFolder, kDefaultInstallationFolder, kDefaultRootFolder})
    EXPECT_FALSE(sandbox.StatAfter(path)) << path;
}

// A stop signal while a command runs stops the command too, before the
// installer ends.
TEST(RunSafetyScenarioTest, StopSignalStopsTheRunningCommand) {
  constexpr char kDist[] = "/opt/dist";
  struct Case {
    const char* tool;
    std::function<void(Sandbox&)> seed;
    std::string answers;
    std::string dist_dir;
  };
  const std::vector<Case> cases = {
      {"decode",
       [&](Sandbox& sandbox) {
         SeedStandardHost(sandbox);
         sandbox.SeedCopy(std::string(kDist) + "/qvinstall", DistDir() + "/qvinstall");
         sandbox.Seed(std::string(kDist) + "/decode", StoppableTool("decode"), 0755);
       },
       "n\n", kDist},
      {"useradd",
       [](Sandbox& sandbox) {
         SeedMailHost(sandbox);
         sandbox.Seed("/usr/sbin/useradd", StoppableTool("useradd"), 0755);
       },
       ServerAnswers(MailPart::kCreatingGroup), DistDir()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.tool);
    Sandbox sandbox;
    c.seed(sandbox);
    RunOptions options;
    options.keep_stdin_open = true;
    options.timeout_seconds = 20;
    options.signal_after = std::string(c.tool) + ": started";
    options.signal = SIGTERM;
    RunResult run = RunOnConsole(sandbox, c.answers, options, c.dist_dir);

    EXPECT_FALSE(run.timed_out);
    EXPECT_EQ(run.exit_status, 0);
    const std::string ending = Line(std::string(c.tool) + ": started") + c.tool + ": stopped\n";
    EXPECT_TRUE(run.output.ends_with(ending)) << run.output;
    EXPECT_FALSE(sandbox.StatAfter(kWorkingFolder));
  }
}

// A useradd that refuses gives the stage's error text line a cause.
TEST(RunSafetyScenarioTest, RefusedUserCreationNamesACause) {
  Sandbox sandbox;
  SeedMailHostWithGroups(sandbox);
  sandbox.Seed("/usr/sbin/useradd", "#!/bin/sh\nexit 1\n", 0755);
  RunResult run = RunInstaller(sandbox, ServerAnswers(MailPart::kGroupPresent));

  EXPECT_EQ(run.exit_status, 1);
  const std::string server_dialogue = ServerDialogue(MailPart::kGroupPresent);
  EXPECT_TRUE(SameTranscript(
      Opening() + server_dialogue.substr(0, server_dialogue.size() - Line("Success").size()) +
          Line("Cant' create quorvane system user") +
          Line("Create it manually and then install again") +
          Abort("Error while getting Quorvane server configuration", "Operation not permitted"),
      run.output));
}

}  // namespace
