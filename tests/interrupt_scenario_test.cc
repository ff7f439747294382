// Interrupts through the real installer: SIGINT, SIGTERM or SIGHUP at a
// question, during a stage's dialogue and during the extraction. The run
// ends with status 0, the working folder and a configuration file this run
// wrote are gone, and nothing else is undone.

#include <gtest/gtest.h>
#include <signal.h>
#include <string.h>

#include <string>
#include <vector>

#include "sandbox/sandbox.h"
#include "tests/installer_run.h"
#include "tests/transcript.h"

namespace {

// The installer on the console, waiting at its next question once the
// answers run out, so that the signal finds it there.
RunResult RunUntilSignal(Sandbox& sandbox, const std::string& answers, RunOptions options,
                         const std::string& dist_dir = DistDir()) {
  options.keep_stdin_open = true;
  options.timeout_seconds = 30;
  return RunOnConsole(sandbox, answers, options, dist_dir);
}

RunOptions SignalAfter(const std::string& text, int signal_number) {
  RunOptions options;
  options.signal_after = text;
  options.signal = signal_number;
  return options;
}

std::string SignalName(int signal_number) { return sigabbrev_np(signal_number); }

std::string UpToStartQuestion() {
  return UpToCopies() + Line("Success") + Line("Creating configuration file...") + Line("Success") +
         kStartQuestion;
}

// What a whole installation without the mail part makes, but the
// configuration file.
Paths InstalledWithoutConfigurationFile() {
  return Sorted({"/etc/named.conf.qvbackup", "/usr/bin/quorvane", "/usr/lib/libqvdns-0.1.so",
                 "/usr/lib/libqvsml-0.1.so", kDefaultInstallationFolder, InFolder("/bin"),
                 InFolder("/bin/libqvdns-0.1.so"), InFolder("/bin/libqvsml-0.1.so"),
                 InFolder("/bin/quorvane"), InFolder("/bin/qvremove"), InFolder("/etc"),
                 InFolder("/etc/hosts.allow"), InFolder("/log"), kInitLog});
}

void ExpectStoppedCleanly(const Sandbox& sandbox, const RunResult& run) {
  EXPECT_TRUE(run.signal_sent);
  EXPECT_FALSE(run.timed_out);
  EXPECT_EQ(run.term_signal, 0);
  EXPECT_EQ(run.exit_status, 0);
  EXPECT_FALSE(sandbox.StatAfter(kWorkingFolder));
}

// Each signal at the start question: the configuration file just written
// goes, the installed service stays.
TEST(InterruptScenarioTest, AtTheStartQuestionTheConfigurationFileGoes) {
  for (int signal_number : {SIGINT, SIGTERM, SIGHUP}) {
    SCOPED_TRACE(SignalName(signal_number));
    Sandbox sandbox;
    SeedStandardHost(sandbox);
    RunResult run = RunUntilSignal(sandbox, AnswersUpToAddress() + kAddress,
                                   SignalAfter(kStartQuestion, signal_number));

    ExpectStoppedCleanly(sandbox, run);
    EXPECT_TRUE(SameTranscript(UpToStartQuestion(), run.output));
    EXPECT_EQ(run.changes.created, InstalledWithoutConfigurationFile()) << run.changes.ToString();
    EXPECT_EQ(run.changes.changed, Paths{}) << run.changes.ToString();
    EXPECT_EQ(run.changes.deleted, Paths{}) << run.changes.ToString();
    EXPECT_EQ(sandbox.LinkTargetAfter("/usr/bin/quorvane"), InFolder("/bin/quorvane"));
  }
}

// A signal at a question inside a stage: nothing is rolled back.
TEST(InterruptScenarioTest, DuringAStageWhatWasMadeStays) {
  struct Point {
    const char* name;
    std::string answers;
    std::string transcript;  // ends with the question the signal lands at
    Paths created;
  };
  const std::vector<Point> points = {
      {"mail question", "", Line("Extracting the package...") + kMailQuestion, {}},
      {"port question", "n\n", Opening() + DefaultPrompt(kPortQuestion, "33333"), {kInitLog}},
      {"name server question", ServerAnswers(MailPart::kNone) + "\n",
       Opening() + ServerDialogue() + DnsOpening() + DefaultPrompt(kNameServerQuestion, "@"),
       Sorted({"/etc/named.conf.qvbackup", kDefaultInstallationFolder, kInitLog})},
      {"address question", AnswersUpToAddress(), UpToFolders() + kAddressPrompt,
       Sorted({"/etc/named.conf.qvbackup", kDefaultInstallationFolder, InFolder("/bin"),
               InFolder("/etc"), InFolder("/log"), kInitLog})},
  };
  for (const Point& point : points) {
    SCOPED_TRACE(point.name);
    Sandbox sandbox;
    SeedStandardHost(sandbox);
    // The last two lines: every default prompt ends in the same line.
    const size_t last_line = point.transcript.find_last_of('\n');
    const size_t line_before = point.transcript.find_last_of('\n', last_line - 1);
    const std::string question =
        point.transcript.substr(line_before == std::string::npos ? 0 : line_before + 1);
    RunResult run = RunUntilSignal(sandbox, point.answers, SignalAfter(question, SIGTERM));

    ExpectStoppedCleanly(sandbox, run);
    EXPECT_TRUE(SameTranscript(point.transcript, run.output));
    EXPECT_EQ(run.changes.created, point.created) << run.changes.ToString();
    EXPECT_EQ(run.changes.changed, Paths{}) << run.changes.ToString();
    EXPECT_EQ(run.changes.deleted, Paths{}) << run.changes.ToString();
  }
}

// With the mail part, a signal at the sendmail stage's group question
// leaves the group, the user, the root folder and named.conf's copy.
TEST(InterruptScenarioTest, DuringTheSendmailStageTheAccountsStay) {
  Sandbox sandbox;
  SeedMailHost(sandbox);
  sandbox.Seed("/etc/group", WithoutEntry(sandbox, "/etc/group", "mail"));
  RunResult run = RunUntilSignal(sandbox, AnswersUpToAddress(MailPart::kCreatingGroup),
                                 SignalAfter(kMailGroupQuestion, SIGTERM));

  ExpectStoppedCleanly(sandbox, run);
  const std::string transcript =
      UpToSendmail(MailPart::kCreatingGroup) + "Checking mail group..." + kMailGroupQuestion;
  EXPECT_TRUE(SameTranscript(transcript, run.output));
  for (const char* path :
       {"/etc/named.conf.qvbackup", kDefaultRootFolder, kDefaultInstallationFolder})
    EXPECT_TRUE(sandbox.StatAfter(path)) << path;
  EXPECT_NE(sandbox.ReadAfter("/etc/passwd")->find("\nquorvane:"), std::string::npos);
  EXPECT_NE(sandbox.ReadAfter("/etc/group")->find("\npopusers:"), std::string::npos);
  EXPECT_FALSE(sandbox.StatAfter("/etc/sendmail.cf.qvbackup"));
}

// A link at the configuration file's path was not written by this run: the
// handler leaves it, as it leaves the link the run was asked to replace.
TEST(InterruptScenarioTest, LinkAtTheConfigurationFilePathStays) {
  Sandbox sandbox;
  SeedStandardHost(sandbox);
  sandbox.SeedSymlink("/etc/Quorvane.conf", "/opt/missing/Quorvane.conf");
  sandbox.Seed("/usr/bin/quorvane", "older command", 0755);
  RunResult run =
      RunUntilSignal(sandbox, AnswersUpToAddress() + kAddress, SignalAfter(kLinkQuestion, SIGINT));

  ExpectStoppedCleanly(sandbox, run);
  EXPECT_TRUE(
      SameTranscript(UpToCopies() + LinkInTheWay("quorvane", "/usr/bin/quorvane"), run.output));
  EXPECT_EQ(sandbox.LinkTargetAfter("/etc/Quorvane.conf"), "/opt/missing/Quorvane.conf");
  EXPECT_EQ(sandbox.ReadAfter("/usr/bin/quorvane"), "older command");
  EXPECT_EQ(run.changes.changed, Paths{}) << run.changes.ToString();
  EXPECT_EQ(run.changes.deleted, Paths{}) << run.changes.ToString();
}

// SIGHUP while the package is being unpacked. A decode tool that says it
// has started (on standard error, which the console shows) and then works
// until it is stopped makes sure the signal lands in the middle of the
// extraction.
TEST(InterruptScenarioTest, DuringExtractionTheWorkingFolderGoes) {
  constexpr char kDist[] = "/opt/dist";
  constexpr char kStarted[] = "decode: started";
  Sandbox sandbox;
  SeedStandardHost(sandbox);
  sandbox.SeedCopy(std::string(kDist) + "/qvinstall", DistDir() + "/qvinstall");
  sandbox.Seed(std::string(kDist) + "/decode",
               "#!/bin/sh\necho '" + std::string(kStarted) + "' >&2\nexec sleep infinity\n", 0755);
  RunResult run = RunUntilSignal(sandbox, "n\n", SignalAfter(kStarted, SIGHUP), kDist);

  ExpectStoppedCleanly(sandbox, run);
  EXPECT_TRUE(SameTranscript(Line("Extracting the package...") + Line(kStarted), run.output));
  EXPECT_TRUE(run.changes.empty()) << run.changes.ToString();
}

}  // namespace
