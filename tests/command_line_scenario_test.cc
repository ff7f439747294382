// The command lines of the release's and the package's programs, and how
// the installer starts: as a user other than root, and from a folder other
// than its own.

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "sandbox/sandbox.h"
#include "tests/installer_run.h"
#include "tests/transcript.h"

namespace {

constexpr char kAsNobody[] = "setpriv --reuid=65534 --regid=65534 --clear-groups ";

std::string Version() {
  std::ifstream in(QV_SOURCE_DIR "/VERSION");
  std::string version;
  std::getline(in, version);
  return version;
}

struct Streams {
  std::string out, err, status;
};

struct Runs {
  std::map<std::string, Streams> by_argument;
  ChangeSet changes;
};

// Runs `program` once per argument in `args`, in `sandbox`, and splits what
// each run wrote to standard output and standard error.
Runs RunEach(Sandbox& sandbox, const std::string& program, const std::vector<std::string>& args) {
  std::string script =
      "export LD_LIBRARY_PATH=" QV_PAYLOAD_BUILD_DIR "/qvsml:" QV_PAYLOAD_BUILD_DIR "/qvdns\n";
  for (const std::string& arg : args) {
    script += "echo '== " + arg + " out'; " + program + " " + arg +
              " </dev/null 2>/dev/null; echo \"== status $?\"\n"
              "echo '== " +
              arg + " err'; " + program + " " + arg + " </dev/null 2>&1 >/dev/null\n";
  }
  Runs runs;
  RunResult run = RunScript(sandbox, script);
  runs.changes = run.changes;
  std::map<std::string, Streams>& streams = runs.by_argument;
  std::istringstream lines(run.output);
  std::string line, arg;
  std::string* into = nullptr;
  while (std::getline(lines, line)) {
    if (line.starts_with("== status ")) {
      streams[arg].status = line.substr(10);
      into = nullptr;
    } else if (line.starts_with("== ")) {
      const size_t space = line.rfind(' ');
      arg = line.substr(3, space - 3);
      into = line.substr(space + 1) == "out" ? &streams[arg].out : &streams[arg].err;
    } else if (into) {
      *into += line + "\n";
    }
  }
  return runs;
}

TEST(CommandLineScenarioTest, EveryProgramAnswersHelpAndVersionAndRefusesTheUnknown) {
  struct Case {
    const char* name;
    std::string path;
    const char* usage_status;  // for an argument it does not know
  };
  const Case kCases[] = {
      {"qvinstall", DistDir() + "/qvinstall", "2"},
      {"qvpreview", DistDir() + "/qvpreview", "2"},
      {"decode", DistDir() + "/decode", "2"},
      {"qvremove", QV_PAYLOAD_BUILD_DIR "/qvremove/qvremove", "2"},
      {"quorvane", QV_PAYLOAD_BUILD_DIR "/quorvane/quorvane", "2"},
      {"vpop3d", QV_PAYLOAD_BUILD_DIR "/vpop3d/vpop3d", "2"},
      // A mail delivery agent tells sendmail of a wrong command line with EX_USAGE.
      {"vdeliver", QV_PAYLOAD_BUILD_DIR "/vdeliver/vdeliver", "64"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    Sandbox sandbox;
    SeedStandardHost(sandbox);
    Runs each = RunEach(sandbox, c.path, {"--help", "--version", "--frobnicate"});
    std::map<std::string, Streams>& runs = each.by_argument;
    const Streams& help = runs["--help"];
    EXPECT_TRUE(help.out.starts_with(std::string("usage: ") + c.name + " ")) << help.out;
    EXPECT_EQ(help.err, "");
    EXPECT_EQ(help.status, "0");
    EXPECT_EQ(runs["--version"].out, std::string(c.name) + " " + Version() + "\n");
    EXPECT_EQ(runs["--version"].err, "");
    EXPECT_EQ(runs["--version"].status, "0");
    EXPECT_EQ(runs["--frobnicate"].out, "");
    EXPECT_EQ(runs["--frobnicate"].err, help.out);
    EXPECT_EQ(runs["--frobnicate"].status, c.usage_status);
    EXPECT_TRUE(each.changes.empty()) << each.changes.ToString();
  }
}

TEST(CommandLineScenarioTest, InstallerArgumentsItDoesNotKnowTouchNothing) {
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"--answers"}, {"-a", "a", "b"}, {"--help", "--version"}, {"install"}}) {
    Sandbox sandbox;
    SeedStandardHost(sandbox);
    RunResult run = RunInstallerWith(sandbox, args, kDefaultAnswers);
    EXPECT_EQ(run.output, "") << args[0];
    EXPECT_EQ(run.exit_status, 2) << args[0];
    EXPECT_TRUE(run.changes.empty()) << run.changes.ToString();
  }
}

TEST(CommandLineScenarioTest, UserOtherThanRootGetsOneLineAndNothingIsTouched) {
  Sandbox sandbox;
  SeedStandardHost(sandbox);
  sandbox.Seed("/etc/Quorvane.conf", "");  // not even looked at
  RunResult run = RunScript(sandbox, std::string("cd /tmp && ") + kAsNobody + DistDir() +
                                         "/qvinstall <<'EOF'\nn\nEOF\necho \"status $?\"\n");
  EXPECT_EQ(run.output, "qvinstall must be run as root\nstatus 1\n");
  EXPECT_TRUE(run.changes.empty()) << run.changes.ToString();
}

TEST(CommandLineScenarioTest, InstallsWhenStartedFromAnotherFolder) {
  Sandbox sandbox;
  SeedStandardHost(sandbox);
  RunOptions options;
  options.working_dir = "/tmp";
  options.stdin_text = kDefaultAnswers;
  RunResult run = sandbox.Run({DistDir() + "/qvinstall"}, options);
  EXPECT_TRUE(SameTranscript(
      Opening() + ServerDialogue() + DnsDialogue() + RunEnding(/*started=*/true), run.output));
  EXPECT_EQ(run.exit_status, 0);
  EXPECT_TRUE(sandbox.StatAfter(InFolder("/bin/quorvane")));
}

}  // namespace
