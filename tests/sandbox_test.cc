#include "sandbox/sandbox.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "tests/installer_run.h"
#include "tests/transcript.h"

namespace {

std::string ReadHostFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteHostFile(const std::string& path, const std::string& content) {
  std::ofstream(path, std::ios::binary) << content;
}

int HostOverlayMounts() {
  std::istringstream mounts(ReadHostFile("/proc/mounts"));
  int count = 0;
  for (std::string line; std::getline(mounts, line);) {
    if (line.find("overlay") != std::string::npos) ++count;
  }
  return count;
}

RunResult Shell(Sandbox& sandbox, const std::string& script, RunOptions options = {}) {
  return sandbox.Run({"/bin/sh", "-c", script}, options);
}

// A folder of the host (under /tmp, so it shows inside sandboxes) the tests
// may change freely.
class HostFixture {
 public:
  HostFixture() {
    char dir[] = "/tmp/qvfixture.XXXXXX";
    path_ = mkdtemp(dir);
  }
  ~HostFixture() { std::system(("rm -rf " + path_).c_str()); }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

TEST(SandboxTest, ChangesAreReportedAndTheHostIsUntouched) {
  HostFixture host;
  const std::string f = host.path();
  for (const char* name : {"keep", "edit", "touched", "chmodded", "gone"}) {
    WriteHostFile(f + "/" + name, std::string(name) + "\n");
  }
  mkdir((f + "/tree").c_str(), 0755);
  WriteHostFile(f + "/tree/a", "a\n");
  WriteHostFile(f + "/tree/b", "b\n");
  int overlays_before = HostOverlayMounts();

  Sandbox sandbox;
  RunResult result = Shell(sandbox, "cd " + f +
                                        " && echo more >> edit && touch touched && chmod 600 "
                                        "chmodded && rm gone && cp keep keep.tmp && mv keep.tmp "
                                        "keep && rm -rf tree && mkdir tree && echo a2 > tree/a && "
                                        "mkdir new && echo x > new/file && ln -s edit newlink && "
                                        "echo tmp > scratch && rm scratch && echo ok");
  EXPECT_EQ(result.output, "ok\n");
  EXPECT_EQ(result.exit_status, 0);
  EXPECT_EQ(result.changes.ToString(), "~ " + f + "/chmodded\n" +  // only the mode
                                           "~ " + f + "/edit\n" + "- " + f + "/gone\n" + "+ " + f +
                                           "/new\n" + "+ " + f + "/new/file\n" + "+ " + f +
                                           "/newlink\n" + "~ " + f +
                                           "/tree/a\n" +  // recreated folder
                                           "- " + f + "/tree/b\n");
  // The host still has what it had.
  EXPECT_EQ(ReadHostFile(f + "/edit"), "edit\n");
  EXPECT_EQ(ReadHostFile(f + "/gone"), "gone\n");
  EXPECT_EQ(ReadHostFile(f + "/tree/b"), "b\n");
  EXPECT_NE(access((f + "/new").c_str(), F_OK), 0);
  // Reads after the run see the sandbox's side.
  EXPECT_EQ(sandbox.ReadAfter(f + "/edit"), "edit\nmore\n");
  EXPECT_EQ(sandbox.ReadAfter(f + "/newlink"), "edit\nmore\n");
  EXPECT_EQ(sandbox.LinkTargetAfter(f + "/newlink"), "edit");
  EXPECT_EQ(sandbox.ReadAfter(f + "/gone"), std::nullopt);
  EXPECT_EQ(sandbox.ReadAfter(f + "/tree/b"), std::nullopt);
  EXPECT_EQ(sandbox.ReadAfter(f + "/keep"), "keep\n");
  ASSERT_TRUE(sandbox.StatAfter(f + "/chmodded"));
  EXPECT_EQ(sandbox.StatAfter(f + "/chmodded")->st_mode & 07777, 0600u);
  EXPECT_EQ(HostOverlayMounts(), overlays_before);
}

TEST(SandboxTest, SeedsAreVisibleButNotChanges) {
  HostFixture host;
  WriteHostFile(host.path() + "/hidden", "host\n");
  Sandbox sandbox;
  sandbox.Seed("/etc/qvtest/conf", "seeded\n");
  sandbox.Seed("/etc/qvtest/secret", "s\n", 0600);
  sandbox.SeedDir("/opt/qvtest/empty", 0700);
  sandbox.SeedSymlink("/etc/qvtest/link", "conf");
  sandbox.SeedRemoved(host.path() + "/hidden");
  // /var/run is a link to /run: the seed goes through it.
  sandbox.Seed("/var/run/qvtest/daemon.pid", "42\n");
  sandbox.Seed(host.path() + "/owned", "o\n");
  ASSERT_TRUE(sandbox.SeedOwner(host.path() + "/owned", 12, 34));
  EXPECT_FALSE(sandbox.SeedOwner("/etc/qvtest/never-seeded", 1, 1));

  RunResult result = Shell(sandbox,
                           "cat /etc/qvtest/link /var/run/qvtest/daemon.pid; "
                           "stat -c '%a %U' /etc/qvtest/secret /opt/qvtest/empty /tmp /etc; "
                           "test -L /var/run && echo var-run-is-a-link; "
                           "test -e " +
                               host.path() +
                               "/hidden || echo hidden; "
                               "stat -c '%u:%g' " +
                               host.path() + "/owned");
  EXPECT_EQ(result.output,
            "seeded\n42\n600 root\n700 root\n1777 root\n755 root\nvar-run-is-a-link\nhidden\n"
            "12:34\n");
  EXPECT_TRUE(result.changes.empty()) << result.changes.ToString();
  EXPECT_EQ(ReadHostFile(host.path() + "/hidden"), "host\n");
  EXPECT_NE(access("/etc/qvtest", F_OK), 0);
  EXPECT_EQ(sandbox.ReadAfter("/var/run/qvtest/daemon.pid"), "42\n");
  EXPECT_EQ(sandbox.ReadAfter("/run/qvtest/daemon.pid"), "42\n");
  EXPECT_EQ(sandbox.ReadAfter(host.path() + "/hidden"), std::nullopt);
  EXPECT_EQ(sandbox.LinkTargetAfter("/etc/qvtest/link"), "conf");

  // Changing and deleting seeds are changes; seeds added later apply too.
  sandbox.Seed("/etc/qvtest/later", "later\n");
  result =
      Shell(sandbox, "cat /etc/qvtest/later; echo more >> /etc/qvtest/conf; rm /etc/qvtest/secret");
  EXPECT_EQ(result.output, "later\n");
  EXPECT_EQ(result.changes.ToString(), "~ /etc/qvtest/conf\n- /etc/qvtest/secret\n");
  EXPECT_EQ(sandbox.ReadAfter("/etc/qvtest/conf"), "seeded\nmore\n");
  EXPECT_EQ(sandbox.ReadAfter("/etc/qvtest/secret"), std::nullopt);
}

TEST(SandboxTest, LaterRunsSeeEarlierOnes) {
  Sandbox sandbox;
  EXPECT_EQ(Shell(sandbox, "echo one > /etc/qvtest-run").exit_status, 0);
  RunResult second = Shell(sandbox, "cat /etc/qvtest-run; echo two >> /etc/qvtest-run");
  EXPECT_EQ(second.output, "one\n");
  EXPECT_EQ(second.changes.ToString(), "+ /etc/qvtest-run\n");
  EXPECT_EQ(sandbox.ReadAfter("/etc/qvtest-run"), "one\ntwo\n");
  EXPECT_NE(access("/etc/qvtest-run", F_OK), 0);
}

TEST(SandboxTest, LayersSitBetweenHostAndSeeds) {
  HostFixture host;
  WriteHostFile(host.path() + "/from-host", "host\n");
  HostFixture layer;
  std::string in_layer = layer.path() + host.path();
  ASSERT_EQ(std::system(("mkdir -p " + in_layer).c_str()), 0);
  WriteHostFile(in_layer + "/from-layer", "layer\n");
  WriteHostFile(in_layer + "/both", "layer\n");
  ASSERT_EQ(mknod((in_layer + "/from-host").c_str(), S_IFCHR, makedev(0, 0)), 0);

  Sandbox sandbox;
  sandbox.AddLayer(layer.path());
  sandbox.Seed(host.path() + "/both", "seed\n");
  RunResult result = Shell(sandbox, "cd " + host.path() +
                                        " && cat from-layer both && ls && echo changed >> "
                                        "from-layer");
  EXPECT_EQ(result.output, "layer\nseed\nboth\nfrom-layer\n");
  EXPECT_EQ(result.changes.ToString(), "~ " + host.path() + "/from-layer\n");
  EXPECT_EQ(sandbox.ReadAfter(host.path() + "/from-host"), std::nullopt);
  EXPECT_EQ(sandbox.ReadAfter(host.path() + "/both"), "seed\n");
}

TEST(SandboxTest, AccountToolsChangeOnlyTheSandbox) {
  std::string host_group = ReadHostFile("/etc/group");
  Sandbox sandbox;
  RunResult result = Shell(sandbox, "groupadd qvtestgroup && useradd -g qvtestgroup -M qvtestuser");
  EXPECT_EQ(result.exit_status, 0);
  const std::vector<std::string>& changed = result.changes.changed;
  EXPECT_NE(std::find(changed.begin(), changed.end(), "/etc/group"), changed.end());
  EXPECT_NE(std::find(changed.begin(), changed.end(), "/etc/passwd"), changed.end());
  EXPECT_NE(sandbox.ReadAfter("/etc/group")->find("\nqvtestgroup:x:"), std::string::npos);
  EXPECT_EQ(ReadHostFile("/etc/group"), host_group);
  EXPECT_EQ(host_group.find("qvtestgroup"), std::string::npos);
}

TEST(SandboxTest, StandardInputIsFed) {
  Sandbox sandbox;
  RunOptions options;
  options.stdin_text = "hello\nworld\n";
  EXPECT_EQ(sandbox.Run({"cat"}, options).output, "hello\nworld\n");

  // More than a pipe holds, while the program also writes.
  options.stdin_text = std::string(300000, 'x');
  EXPECT_EQ(sandbox.Run({"cat"}, options).output, options.stdin_text);

  // Closed after the text: the next read sees the end of input.
  const char* script = "read a; echo \"got $a\"; if read b; then echo more; else echo eof; fi";
  options.stdin_text = "one\n";
  EXPECT_EQ(Shell(sandbox, script, options).output, "got one\neof\n");

  // Kept open: the program blocks at its next read until it is ended.
  options.keep_stdin_open = true;
  options.signal_after = "got one";
  options.signal = SIGTERM;
  RunResult blocked = Shell(sandbox, script, options);
  EXPECT_EQ(blocked.output, "got one\n");
  EXPECT_TRUE(blocked.signal_sent);
  EXPECT_EQ(blocked.term_signal, SIGTERM);
  EXPECT_FALSE(blocked.timed_out);
}

TEST(SandboxTest, SignalIsSentOnceTextAppears) {
  Sandbox sandbox;
  RunOptions options;
  options.signal_after = "ready";
  options.signal = SIGTERM;
  RunResult result = Shell(
      sandbox, "trap 'echo got; exit 0' TERM; echo ready; while :; do sleep 0.1; done", options);
  EXPECT_EQ(result.output, "ready\ngot\n");
  EXPECT_EQ(result.exit_status, 0);
  EXPECT_TRUE(result.signal_sent);

  options.signal_after = "never printed";
  result = Shell(sandbox, "echo ready", options);
  EXPECT_FALSE(result.signal_sent);
  EXPECT_EQ(result.exit_status, 0);
}

// The program and what it started never end by themselves: only the
// kill at the timeout can end the run.
TEST(SandboxTest, TimeoutKillsTheWholeSandbox) {
  Sandbox sandbox;
  RunOptions options;
  options.timeout_seconds = 1;
  RunResult result = Shell(
      sandbox, "sleep infinity & echo started; touch /etc/qvtest-before; sleep infinity", options);
  EXPECT_TRUE(result.timed_out);
  EXPECT_EQ(result.term_signal, SIGKILL);
  EXPECT_EQ(result.output, "started\n");
  EXPECT_EQ(result.changes.ToString(), "+ /etc/qvtest-before\n");
}

// A process left behind never ends by itself; the run ends with the
// program all the same, long before its timeout.
TEST(SandboxTest, ProcessesLeftBehindDoNotHoldTheRun) {
  Sandbox sandbox;
  RunResult result = Shell(sandbox, "sleep infinity & echo started");
  EXPECT_EQ(result.output, "started\n");
  EXPECT_EQ(result.exit_status, 0);
  EXPECT_FALSE(result.timed_out);
}

// What a program started (a daemon) is still there for the programs that
// follow it; the run's status stays the first program's.
TEST(SandboxTest, ThenProgramsSeeWhatTheProgramLeftRunning) {
  Sandbox sandbox;
  RunOptions options;
  options.then = {{"/bin/sh", "-c", "kill -0 $(cat /run/qvtest-daemon.pid) && echo alive"},
                  {"/bin/sh", "-c", "echo second; exit 3"}};
  RunResult result = Shell(sandbox, "sleep 30 & echo $! > /run/qvtest-daemon.pid; exit 5", options);
  EXPECT_EQ(result.output, "alive\nsecond\n");
  EXPECT_EQ(result.exit_status, 5);
}

TEST(SandboxTest, OwnNamespaces) {
  Sandbox sandbox;
  RunResult result = Shell(sandbox,
                           "echo $$; hostname; tail -n +3 /proc/net/dev | cut -d: -f1 | tr -d ' '; "
                           "ls /proc | grep -c '^[0-9]'");
  std::istringstream lines(result.output);
  int pid = 0;
  lines >> pid;
  EXPECT_GT(pid, 0);
  EXPECT_LE(pid, 3);
  std::string host_name, interfaces, processes;
  lines >> host_name >> interfaces >> processes;
  EXPECT_EQ(host_name, kSandboxHostName);
  EXPECT_EQ(interfaces, "lo");
  EXPECT_LE(std::atoi(processes.c_str()), 6) << result.output;
}

TEST(SandboxTest, InitScriptsLogTheirCalls) {
  Sandbox sandbox;
  sandbox.SeedInitScripts();
  sandbox.SeedInitScript("sendmail", "");
  sandbox.SeedInitScript("inet", "Stopping 'inet': [ OK ]\n");
  RunResult result = Shell(sandbox,
                           "for s in named sendmail xinetd inet; do /etc/rc.d/init.d/$s restart; "
                           "done; stat -c %a /etc/rc.d/init.d/named");
  EXPECT_EQ(result.output,
            "named restart: done\nxinetd restart: done\nStopping 'inet': [ OK ]\n755\n");
  EXPECT_EQ(sandbox.ReadAfter(kInitLog),
            "named restart\nsendmail restart\nxinetd restart\ninet restart\n");
  EXPECT_EQ(result.changes.ToString(), std::string("+ ") + kInitLog + "\n");
}

TEST(SandboxTest, SetupFailuresAreReported) {
  Sandbox sandbox;
  RunOptions options;
  options.working_dir = "/no/such/folder";
  RunResult result = Shell(sandbox, "echo never", options);
  EXPECT_EQ(result.exit_status, -1);
  EXPECT_EQ(result.output.rfind("sandbox:", 0), 0u) << result.output;

  result = sandbox.Run({"/no/such/program"});
  EXPECT_EQ(result.exit_status, 127);
}

TEST(SandboxTest, NothingIsLeftOnTheHost) {
  int overlays_before = HostOverlayMounts();
  std::string scratch;
  {
    Sandbox sandbox;
    scratch = sandbox.scratch_dir();
    sandbox.Seed("/etc/qvtest/conf", "x\n");
    Shell(sandbox, "rm -rf /etc/qvtest; mkdir -p /etc/qvtest/d; chmod 000 /etc/qvtest/d");
    EXPECT_EQ(HostOverlayMounts(), overlays_before);
    struct stat st;
    EXPECT_EQ(stat(scratch.c_str(), &st), 0);
  }
  struct stat st;
  EXPECT_NE(stat(scratch.c_str(), &st), 0);
  EXPECT_EQ(HostOverlayMounts(), overlays_before);
}

// Many runs in one seeded sandbox: each mounts its view afresh and
// leaves no mount on the host, and the change set stays empty.
TEST(SandboxTest, RunsOneAfterAnotherLeaveNothingMounted) {
  const int overlays_before = HostOverlayMounts();
  Sandbox sandbox;
  SeedMailHost(sandbox);
  for (int i = 0; i < 10; ++i) {
    RunResult result = Shell(sandbox, "cat /var/run/named/named.pid");
    ASSERT_EQ(result.exit_status, 0) << result.output;
    EXPECT_EQ(result.output, "1234\n");
    EXPECT_TRUE(result.changes.empty()) << result.changes.ToString();
    EXPECT_EQ(HostOverlayMounts(), overlays_before);
  }
}

TEST(SandboxTest, MailHostSeedsDoNotTouchTheHost) {
  Sandbox sandbox;
  SeedMailHost(sandbox);
  RunResult result = Shell(sandbox,
                           "cat /var/run/named/named.pid; grep -c 'server.*= /usr/sbin/ipop3d' "
                           "/etc/xinetd.d/ipop3; grep -c '^zone' /etc/named.conf");
  EXPECT_EQ(result.output, "1234\n1\n4\n");
  EXPECT_TRUE(result.changes.empty()) << result.changes.ToString();
}

TEST(TranscriptTest, DefaultPromptShape) {
  EXPECT_EQ(DefaultPrompt("Port (Default: ", "4000"),
            "\nPort (Default: 4000)\nPress Enter for Default: ");
  EXPECT_EQ(Line("done"), "done\n");
}

TEST(TranscriptTest, MismatchNamesTheFirstDifferingLine) {
  EXPECT_TRUE(SameTranscript("a\nb\n", "a\nb\n"));
  ::testing::AssertionResult tab = SameTranscript("a\nb\tc\nd\n", "a\nb c\nd\n");
  ASSERT_FALSE(tab);
  std::string message = tab.message();
  EXPECT_NE(message.find("line 2"), std::string::npos) << message;
  EXPECT_NE(message.find("\"b\\tc\\n\""), std::string::npos) << message;

  ::testing::AssertionResult missing_end = SameTranscript("a\n", "a");
  ASSERT_FALSE(missing_end);
  EXPECT_NE(std::string(missing_end.message()).find("\"a\""), std::string::npos);

  ::testing::AssertionResult shorter = SameTranscript("a\nb\n", "a\n");
  ASSERT_FALSE(shorter);
  EXPECT_NE(std::string(shorter.message()).find("<end of text>"), std::string::npos);
}

}  // namespace
