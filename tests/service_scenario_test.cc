// The package's service program and uninstaller on an installed host: the
// daemon that "Y" to the start question starts, the libraries as ldconfig
// sees them, and qvremove taking everything off again.

#include <gtest/gtest.h>

#include <string>

#include "tests/installer_run.h"
#include "tests/sandbox.h"
#include "tests/transcript.h"

namespace {

// Talks to the daemon on port 33333 from 127.0.0.1 (listed) and 127.0.0.2
// (not listed), and stays idle once; prints what each got back.
constexpr char kClient[] = R"py(import re, socket, sys, time
def talk(source, requests, wait=0.3):
    s = socket.socket()
    s.bind((source, 0))
    try:
        s.connect(("127.0.0.1", 33333))
    except OSError:
        return "no server"
    s.settimeout(10)
    for request in requests:
        s.sendall(request.encode() + b"\r\n")
    started = time.time()
    got = b""
    try:
        while True:
            data = s.recv(4096)
            if not data:
                break
            got += data
    except OSError:
        pass
    text = re.sub(r"uptime \d+", "uptime N", got.decode()).replace("\r\n", "|")
    return "%s (%d s)" % (text or "closed without a byte", round(time.time() - started))
print("allowed:", talk("127.0.0.1", ["STATUS", "QUIT"]))
print("not listed:", talk("127.0.0.2", ["STATUS"]))
print("idle:", talk("127.0.0.1", []))
)py";

// Installs in the same run (a daemon lives only as long as its run), then
// runs `after` with the client at /tmp/client.py.
RunResult InstallThen(Sandbox& sandbox, const std::string& answers, const std::string& after) {
  sandbox.Seed("/tmp/answers", answers);
  sandbox.Seed("/tmp/client.py", kClient);
  RunOptions options;
  options.working_dir = DistDir();
  return sandbox.Run({"/bin/sh", "-c", "./qvinstall < /tmp/answers > /dev/null 2>&1; " + after},
                     options);
}

// Runs the installed qvremove, or the built one once that is gone.
RunResult Remove(Sandbox& sandbox, const std::string& answers) {
  RunOptions options;
  options.stdin_text = answers;
  std::string program = InFolder("/bin/qvremove");
  if (!sandbox.StatAfter(program)) program = QV_BUILT_QVREMOVE;
  return sandbox.Run({program}, options);
}

TEST(ServiceScenarioTest, StartedServerAnswersListedClientsUntilStopped) {
  Sandbox sandbox;
  SeedStandardHost(sandbox);
  const std::string answers = "n\n\n2\n\n" + std::string(kDnsAnswers) + kAddress + "y\n";
  RunResult run = InstallThen(sandbox, answers,
                              "/usr/bin/python3 /tmp/client.py; quorvane status >/dev/null; "
                              "echo status $?; quorvane stop; quorvane status; echo status $?; "
                              "/usr/bin/python3 /tmp/client.py | head -1");

  EXPECT_TRUE(SameTranscript(
      Line("allowed: +OK Quorvane server ready|+OK running port 33333 clients 1 uptime N|"
           "+OK bye| (0 s)") +
          Line("not listed: closed without a byte (0 s)") +
          Line("idle: +OK Quorvane server ready|-ERR idle for 2 seconds, closing| (2 s)") +
          Line("status 0") + Line("Quorvane server stopped") +
          Line("Quorvane server is not running") + Line("status 3") + Line("allowed: no server"),
      run.output));
  std::string log = sandbox.ReadAfter(InFolder("/log/quorvane.log")).value_or("");
  for (const char* event : {"started on port 33333", "refused 127.0.0.2: not in the access list",
                            "127.0.0.1 idle for 2 seconds, disconnected", "stopped"}) {
    EXPECT_NE(log.find(event), std::string::npos) << event << " in\n" << log;
  }
}

TEST(ServiceScenarioTest, LdconfigTakesThePackageLibrariesWithoutWarning) {
  Sandbox sandbox;
  SeedMailHost(sandbox);
  SeedPopusersGroup(sandbox);
  RunResult run = InstallThen(sandbox, kDefaultMailAnswers,
                              "ldconfig 2>&1; ldconfig -p | grep -E 'libqv|libstdc\\+\\+-libc6' | "
                              "sed 's/ (.*//'");

  // ldconfig says nothing, and its cache holds each library by its soname.
  EXPECT_EQ(run.output, "\tlibstdc++-libc6.2-2.so.3\n\tlibqvsml-0.1.so\n\tlibqvdns-0.1.so\n");
}

// Install, then qvremove: the change set holds only what the README names
// as left behind, a second qvremove finds nothing, and the installer runs
// again.
TEST(ServiceScenarioTest, QvremoveLeavesOnlyWhatTheReadmeNames) {
  struct Case {
    const char* name;
    bool mail;
    Paths left_created, left_changed;
  } cases[] = {
      {"without the mail part", false, {"/etc/named.conf.qvbackup", kInitLog}, {}},
      {"with the mail part",
       true,
       {"/etc/conf.linuxconf.qvbackup", "/etc/named.conf.qvbackup", "/etc/subgid-", "/etc/subuid-",
        kInitLog},
       {"/etc/passwd-", "/etc/shadow-"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Sandbox sandbox;
    if (c.mail) {
      SeedMailHost(sandbox);
      SeedPopusersGroup(sandbox);
    } else {
      SeedStandardHost(sandbox);
    }
    ASSERT_EQ(RunInstaller(sandbox, c.mail ? kDefaultMailAnswers : kDefaultAnswers).exit_status, 0);
    RunResult removal = Remove(sandbox, "y\n");
    EXPECT_EQ(removal.exit_status, 0) << removal.output;
    EXPECT_EQ(removal.changes.created, Sorted(c.left_created)) << removal.output;
    EXPECT_EQ(removal.changes.changed, c.left_changed);
    EXPECT_EQ(removal.changes.deleted, Paths{});

    RunResult again = Remove(sandbox, "y\n");
    EXPECT_EQ(again.output, "Quorvane server is not installed; nothing to remove.\n");
    EXPECT_EQ(again.exit_status, 0);
    RunResult reinstall = RunInstaller(sandbox, c.mail ? kDefaultMailAnswers : kDefaultAnswers);
    EXPECT_EQ(reinstall.exit_status, 0) << reinstall.output;
  }
}

// An administrator's line added to inetd.conf after the installation stays:
// qvremove leaves the file and its backup and says so.
TEST(ServiceScenarioTest, QvremoveKeepsAnInetdConfChangedAfterInstallation) {
  Sandbox sandbox;
  SeedMailHost(sandbox);
  SeedPopusersGroup(sandbox);
  sandbox.SeedRemoved("/etc/xinetd.d/ipop3");
  const std::string original = "#pop-3\tstream\ttcp\tnowait\troot\t/usr/sbin/tcpd\tipop3d\n";
  sandbox.Seed("/etc/inetd.conf", original);
  ASSERT_EQ(RunInstaller(sandbox, kDefaultMailAnswers).exit_status, 0);
  ASSERT_EQ(sandbox.Run({"/bin/sh", "-c", "echo '# the administrator was here' >> /etc/inetd.conf"})
                .exit_status,
            0);
  const std::string edited = sandbox.ReadAfter("/etc/inetd.conf").value_or("");

  RunResult removal = Remove(sandbox, "y\n");
  EXPECT_EQ(removal.exit_status, 0);
  EXPECT_NE(removal.output.find("left /etc/inetd.conf: it changed after the installation; the "
                                "host's earlier file is /etc/inetd.conf.qvbackup\n"),
            std::string::npos)
      << removal.output;
  EXPECT_EQ(sandbox.ReadAfter("/etc/inetd.conf"), edited);
  EXPECT_EQ(sandbox.ReadAfter("/etc/inetd.conf.qvbackup"), original);
  EXPECT_FALSE(sandbox.StatAfter("/etc/Quorvane.conf"));
}

}  // namespace
