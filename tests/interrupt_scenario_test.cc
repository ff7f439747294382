// Interrupts through the real installer: SIGINT, SIGTERM or SIGHUP at a
// question, during a stage's dialogue and during the extraction. The run
// ends with status 0, the working folder and a configuration file this run
// wrote are gone, and nothing else is undone.

#include <gtest/gtest.h>
#include <signal.h>
#include <string.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "tests/installer_run.h"
#include "tests/sandbox.h"
#include "tests/transcript.h"

namespace {

using Paths = std::vector<std::string>;

constexpr char kFolder[] = "/usr/local/quorvane";
constexpr char kStartQuestion[] = "Do want to start Quorvane now? (Y/N): ";
constexpr char kMailQuestion[] = "Do you want to install sendmail controller? (Y/N): ";
constexpr char kPortQuestion[] = "Enter tcp port for Quorvane server (Default: ";
constexpr char kNameServerQuestion[] =
    "Enter default value for the Primary Name Server: (Default: ";
constexpr char kAddressPrompt[] = "\nEnter IP address of your windows Quorvane machine: ";
constexpr char kLinkOverwrite[] = "Do you want to overwrite it? (Y/N): ";

std::string In(const std::string& relative) { return std::string(kFolder) + relative; }

Paths Sorted(Paths paths) {
  std::sort(paths.begin(), paths.end());
  return paths;
}

// The installer with its standard error joined to standard output, as the
// administrator's console shows them; `exec` keeps the installer the
// process that receives the signal.
RunResult RunOnConsole(Sandbox& sandbox, const std::string& answers, RunOptions options,
                       const std::string& folder = DistDir()) {
  options.working_dir = folder;
  options.stdin_text = answers;
  options.keep_stdin_open = true;  // the installer waits at its next question
  options.timeout_seconds = 30;
  return sandbox.Run({"/bin/sh", "-c", "exec " + folder + "/qvinstall 2>&1"}, options);
}

RunOptions SignalAfter(const std::string& text, int signal_number) {
  RunOptions options;
  options.signal_after = text;
  options.signal = signal_number;
  return options;
}

std::string SignalName(int signal_number) { return sigabbrev_np(signal_number); }

// --- Transcript pieces ---------------------------------------------------

std::string ServerDialogue() {
  return Line("Extracting the package...") + Line(kMailQuestion) +
         Line("Getting Quorvane server configuration...") + DefaultPrompt(kPortQuestion, "33333") +
         DefaultPrompt("Enter Auto disconnect time (in seconds) for Quorvane server (Default: ",
                       "30") +
         DefaultPrompt("Enter installation folder for Quorvane server (Default: ", kFolder) +
         Line("Success");
}

std::string DnsUpToNameServer() {
  return Line("Getting DNS configuration...") + Line("Which version of BIND you are using?") +
         Line("1.\tBIND 8.*") + Line("2.\tBIND 9.*") + Line("Enter your choice (Default: 2)") +
         "Press Enter for Default: " + Line("\tOK") + Line("") +
         Line("Checking DNS configurationg file...\tOK") +
         Line("cp /etc/named.conf /etc/named.conf.qvbackup") +
         Line("Checking DNS process id file...\t\tOK") + DefaultPrompt(kNameServerQuestion, "@");
}

std::string UpToAddress() {
  return ServerDialogue() + DnsUpToNameServer() +
         DefaultPrompt("Enter default value of Refresh time for DNS: (Default: ", "28800") +
         DefaultPrompt("Enter default value of Retry time for DNS: (Default: ", "7200") +
         DefaultPrompt("Enter default value of Expire time for DNS: (Default: ", "604800") +
         DefaultPrompt("Enter default value of ttl for DNS: (Default: ", "86400") +
         Line("Success") + Line("Creating required folders...") + kAddressPrompt;
}

std::string UpToStartQuestion() {
  return UpToAddress() + Line("Success") + Line("Copying files...") + Line("Success") +
         Line("Creating configuration file...") + Line("Success") + kStartQuestion;
}

// Answers of a run without the mail part, up to (not including) the address.
constexpr char kAnswersBeforeAddress[] = "n\n\n\n\n\n\n\n\n\n\n";
constexpr char kAddress[] = "192.168.1.20\n";

// What a whole installation without the mail part makes, but the
// configuration file.
Paths InstalledWithoutConfigurationFile() {
  return Sorted({"/etc/named.conf.qvbackup", "/usr/bin/quorvane", "/usr/lib/libqvdns-0.1.so",
                 "/usr/lib/libqvsml-0.1.so", kFolder, In("/bin"), In("/bin/libqvdns-0.1.so"),
                 In("/bin/libqvsml-0.1.so"), In("/bin/quorvane"), In("/bin/qvremove"), In("/etc"),
                 In("/etc/hosts.allow"), In("/log"), kInitLog});
}

void ExpectStoppedCleanly(const Sandbox& sandbox, const RunResult& run) {
  EXPECT_TRUE(run.signal_sent);
  EXPECT_FALSE(run.timed_out);
  EXPECT_EQ(run.term_signal, 0);
  EXPECT_EQ(run.exit_status, 0);
  EXPECT_FALSE(sandbox.StatAfter("/QVInstallation"));
}

// Each signal at the start question: the configuration file just written
// goes, the installed service stays.
TEST(InterruptScenarioTest, AtTheStartQuestionTheConfigurationFileGoes) {
  for (int signal_number : {SIGINT, SIGTERM, SIGHUP}) {
    SCOPED_TRACE(SignalName(signal_number));
    Sandbox sandbox;
    SeedStandardHost(sandbox);
    RunResult run = RunOnConsole(sandbox, std::string(kAnswersBeforeAddress) + kAddress,
                                 SignalAfter(kStartQuestion, signal_number));

    ExpectStoppedCleanly(sandbox, run);
    EXPECT_TRUE(SameTranscript(UpToStartQuestion(), run.output));
    EXPECT_EQ(run.changes.created, InstalledWithoutConfigurationFile()) << run.changes.ToString();
    EXPECT_EQ(run.changes.changed, Paths{}) << run.changes.ToString();
    EXPECT_EQ(run.changes.deleted, Paths{}) << run.changes.ToString();
    EXPECT_EQ(sandbox.LinkTargetAfter("/usr/bin/quorvane"), In("/bin/quorvane"));
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
      {"port question",
       "n\n",
       Line("Extracting the package...") + Line(kMailQuestion) +
           Line("Getting Quorvane server configuration...") + DefaultPrompt(kPortQuestion, "33333"),
       {kInitLog}},
      {"name server question", "n\n\n\n\n\n", ServerDialogue() + DnsUpToNameServer(),
       Sorted({"/etc/named.conf.qvbackup", kFolder, kInitLog})},
      {"address question", kAnswersBeforeAddress, UpToAddress(),
       Sorted({"/etc/named.conf.qvbackup", kFolder, In("/bin"), In("/etc"), In("/log"), kInitLog})},
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
    RunResult run = RunOnConsole(sandbox, point.answers, SignalAfter(question, SIGTERM));

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
  constexpr char kGroupQuestion[] = "mail group does not exist\nDo you want to create it? (Y/N): ";
  Sandbox sandbox;
  SeedMailHost(sandbox);
  std::istringstream host_groups(sandbox.ReadAfter("/etc/group").value_or(""));
  std::string group_file;
  for (std::string line; std::getline(host_groups, line);)
    if (line.rfind("mail:", 0) != 0) group_file += line + "\n";
  sandbox.Seed("/etc/group", group_file);
  RunResult run =
      RunOnConsole(sandbox, "y\n\n\n\ny\n\n\n\n\n\n\n\n", SignalAfter(kGroupQuestion, SIGTERM));

  ExpectStoppedCleanly(sandbox, run);
  const std::string transcript =
      Line("Extracting the package...") + Line(kMailQuestion) +
      Line("Getting Quorvane server configuration...") + DefaultPrompt(kPortQuestion, "33333") +
      DefaultPrompt("Enter Auto disconnect time (in seconds) for Quorvane server (Default: ",
                    "30") +
      DefaultPrompt("Enter installation folder for Quorvane server (Default: ", kFolder) +
      "Checking popusers group..." +
      "\npopusers group does not exist\nDo you want to create it? (Y/N): \n" + Line("OK") +
      DefaultPrompt("Enter root folder for Quorvane server (Default: ", "/var/quorvane") +
      Line("Success") + DnsUpToNameServer() +
      DefaultPrompt("Enter default value of Refresh time for DNS: (Default: ", "28800") +
      DefaultPrompt("Enter default value of Retry time for DNS: (Default: ", "7200") +
      DefaultPrompt("Enter default value of Expire time for DNS: (Default: ", "604800") +
      DefaultPrompt("Enter default value of ttl for DNS: (Default: ", "86400") + Line("Success") +
      Line("Updating sendmail...") + "Checking mail group..." + kGroupQuestion;
  EXPECT_TRUE(SameTranscript(transcript, run.output));
  for (const char* path : {"/etc/named.conf.qvbackup", "/var/quorvane", kFolder})
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
  RunResult run = RunOnConsole(sandbox, std::string(kAnswersBeforeAddress) + kAddress,
                               SignalAfter(kLinkOverwrite, SIGINT));

  ExpectStoppedCleanly(sandbox, run);
  EXPECT_TRUE(SameTranscript(UpToAddress() + Line("Success") + Line("Copying files...") +
                                 Line("Can't create symbolic link for quorvane") +
                                 Line("/usr/bin/quorvane already exist") + kLinkOverwrite,
                             run.output));
  EXPECT_EQ(sandbox.LinkTargetAfter("/etc/Quorvane.conf"), "/opt/missing/Quorvane.conf");
  EXPECT_EQ(sandbox.ReadAfter("/usr/bin/quorvane"), "older command");
  EXPECT_EQ(run.changes.changed, Paths{}) << run.changes.ToString();
  EXPECT_EQ(run.changes.deleted, Paths{}) << run.changes.ToString();
}

// SIGHUP while the package is being unpacked. A decode tool that says it
// has started (on standard error, which the console shows) and then takes
// two seconds makes sure the signal lands in the middle of the extraction.
TEST(InterruptScenarioTest, DuringExtractionTheWorkingFolderGoes) {
  constexpr char kDist[] = "/opt/dist";
  constexpr char kStarted[] = "decode: started";
  Sandbox sandbox;
  SeedStandardHost(sandbox);
  sandbox.SeedCopy(std::string(kDist) + "/qvinstall", DistDir() + "/qvinstall");
  sandbox.SeedCopy(std::string(kDist) + "/decode.real", DistDir() + "/decode");
  sandbox.Seed(std::string(kDist) + "/decode",
               "#!/bin/sh\necho '" + std::string(kStarted) + "' >&2\nsleep 2\nexec " + kDist +
                   "/decode.real \"$@\"\n",
               0755);
  RunResult run = RunOnConsole(sandbox, "n\n", SignalAfter(kStarted, SIGHUP), kDist);

  ExpectStoppedCleanly(sandbox, run);
  EXPECT_TRUE(SameTranscript(Line("Extracting the package...") + Line(kStarted), run.output));
  EXPECT_TRUE(run.changes.empty()) << run.changes.ToString();
}

}  // namespace
