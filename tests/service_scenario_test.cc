// The package's service program and uninstaller on an installed host: the
// daemon that "Y" to the start question starts, the libraries as ldconfig
// sees them, and qvremove taking everything off again.

#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <string>
#include <vector>

#include "sandbox/sandbox.h"
#include "tests/installer_run.h"
#include "tests/transcript.h"

namespace {

// Talks to the daemon on port 33333 from 127.0.0.1 (listed) and 127.0.0.2
// (not listed), and stays idle once; prints what each got back, and "too
// soon" for a client dropped as idle before its idle time.
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
    if "-ERR idle" in text and time.time() - started < 1.5:
        text += " too soon"
    return text or "closed without a byte"
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

// What the server logs once SIGHUP has made it read its files again.
constexpr char kReread[] = "configuration and access list read again";

// "Y" to the start question starts the server: it answers a listed client,
// closes one not listed, drops an idle one; SIGHUP reads the access list
// again; stop ends it; a configuration line it does not know keeps it from
// starting.
TEST(ServiceScenarioTest, StartedServerAnswersListedClientsUntilStopped) {
  Sandbox sandbox;
  SeedStandardHost(sandbox);
  const std::string answers = "n\n\n2\n\n" + std::string(kDnsAnswers) + kAddress + "y\n";
  RunResult run = InstallThen(sandbox, answers,
                              std::string(kAwaitFunctions) +
                                  "/usr/bin/python3 /tmp/client.py; quorvane status >/dev/null; "
                                  "echo status $?; echo 127.0.0.2 >> " +
                                  InFolder("/etc/hosts.allow") + "; kill -HUP $(cat " +
                                  InFolder("/log/quorvane.pid") + "); await 'grep -q \"" + kReread +
                                  "\" " + InFolder("/log/quorvane.log") +
                                  "'; /usr/bin/python3 /tmp/client.py | sed -n 2p; "
                                  "quorvane stop; quorvane status; echo status $?; "
                                  "/usr/bin/python3 /tmp/client.py | head -1; "
                                  "sed -i 's/^Port /Prot /' /etc/Quorvane.conf; "
                                  "quorvane start 2>&1; echo status $?");

  EXPECT_TRUE(SameTranscript(
      Line("allowed: +OK Quorvane server ready|+OK running port 33333 clients 1 uptime N|"
           "+OK bye|") +
          Line("not listed: closed without a byte") +
          Line("idle: +OK Quorvane server ready|-ERR idle for 2 seconds, closing|") +
          Line("status 0") +
          Line("not listed: +OK Quorvane server ready|+OK running port 33333 clients 1 uptime "
               "N|-ERR idle for 2 seconds, closing|") +
          Line("Quorvane server stopped") + Line("Quorvane server is not running") +
          Line("status 3") + Line("allowed: no server") +
          Line("quorvane: /etc/Quorvane.conf: line 3: unknown line") + Line("status 6"),
      run.output));
  std::string log = sandbox.ReadAfter(InFolder("/log/quorvane.log")).value_or("");
  for (const char* event : {"started on port 33333", "refused 127.0.0.2: not in the access list",
                            "127.0.0.1 idle for 2 seconds, disconnected", "stopped"}) {
    EXPECT_NE(log.find(event), std::string::npos) << event << " in\n" << log;
  }
}

TEST(ServiceScenarioTest, LdconfigTakesThePackageLibrariesAndTheServerDropsRoot) {
  Sandbox sandbox;
  SeedMailHostWithGroups(sandbox);
  RunResult run = InstallThen(sandbox, kDefaultMailAnswers,
                              "ldconfig 2>&1; ldconfig -p | grep -E 'libqv|libstdc\\+\\+-libc6' | "
                              "sed 's/ (.*//'; stat -c %U /proc/$(cat " +
                                  InFolder("/log/quorvane.pid") + ")");

  // ldconfig says nothing, its cache holds each library by its soname, and
  // the daemon runs as the service user.
  EXPECT_EQ(run.output,
            "\tlibstdc++-libc6.2-2.so.3\n\tlibqvsml-0.1.so\n\tlibqvdns-0.1.so\nquorvane\n");
}

// Install, then qvremove with the server running: the change set holds
// only what the README names as left behind, a second qvremove finds
// nothing, and the installer runs again.
TEST(ServiceScenarioTest, QvremoveLeavesOnlyWhatTheReadmeNames) {
  const std::string kQuestion = "Remove Quorvane server from this host? (Y/N): ";
  struct Case {
    const char* name;
    bool mail;
    std::string output;
    Paths left_created, left_changed;
  } cases[] = {
      {"without the mail part",
       false,
       kQuestion + Line("Quorvane server stopped") + Line("Quorvane server removed."),
       {"/etc/named.conf.qvbackup", kInitLog},
       {}},
      {"with the mail part",
       true,
       kQuestion + Line("Quorvane server stopped") + Line("Put back /etc/sendmail.cf") +
           Line("Put back /etc/xinetd.d/ipop3") + Line("sendmail restart: done") +
           Line("xinetd restart: done") + Line("Quorvane server removed."),
       {"/etc/conf.linuxconf.qvbackup", "/etc/named.conf.qvbackup", "/etc/subgid-", "/etc/subuid-",
        kInitLog},
       {"/etc/passwd-", "/etc/shadow-"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Sandbox sandbox;
    if (c.mail) {
      SeedMailHostWithGroups(sandbox);
    } else {
      SeedStandardHost(sandbox);
    }
    const std::string answers = c.mail ? kDefaultMailAnswers : kDefaultAnswers;
    RunResult removal = InstallThen(sandbox, answers, "echo y | " + InFolder("/bin/qvremove"));
    EXPECT_TRUE(SameTranscript(c.output, removal.output));
    EXPECT_EQ(removal.exit_status, 0);
    EXPECT_EQ(removal.changes.created, Sorted(c.left_created));
    EXPECT_EQ(removal.changes.changed, c.left_changed);
    EXPECT_EQ(removal.changes.deleted, Paths{});

    RunResult again = Remove(sandbox, "y\n");
    EXPECT_EQ(again.output, "Quorvane server is not installed; nothing to remove.\n");
    EXPECT_EQ(again.exit_status, 0);
    EXPECT_EQ(RunInstaller(sandbox, answers).exit_status, 0);
  }
}

// An interrupt during qvremove waits until the files put back have their
// daemons restarted; running qvremove again finishes the job. The stand-in
// xinetd restarts only once qvremove holds the interrupt for later.
TEST(ServiceScenarioTest, InterruptedQvremoveFinishesWhenRunAgain) {
  Sandbox sandbox;
  SeedMailHostWithGroups(sandbox);
  ASSERT_EQ(RunInstaller(sandbox, kDefaultMailAnswers).exit_status, 0);
  sandbox.Seed("/etc/rc.d/init.d/xinetd",
               "#!/bin/sh\n" + std::string(kAwaitFunctions) + "await_deferred qvremove " +
                   std::to_string(SIGINT) + "\necho \"xinetd $*: done\"\n",
               0755);
  RunOptions options;
  options.stdin_text = "y\n";
  options.signal_after = "Put back /etc/sendmail.cf\n";
  options.signal = SIGINT;
  RunResult interrupted = sandbox.Run({InFolder("/bin/qvremove")}, options);
  EXPECT_EQ(interrupted.term_signal, SIGINT);
  EXPECT_TRUE(SameTranscript(
      "Remove Quorvane server from this host? (Y/N): " + Line("Put back /etc/sendmail.cf") +
          Line("Put back /etc/xinetd.d/ipop3") + Line("sendmail restart: done") +
          Line("xinetd restart: done"),
      interrupted.output));

  RunResult again = Remove(sandbox, "y\n");
  EXPECT_EQ(again.exit_status, 0);
  EXPECT_TRUE(SameTranscript(
      "Remove Quorvane server from this host? (Y/N): " + Line("Quorvane server removed."),
      again.output));
  EXPECT_FALSE(AccountLine(sandbox, "/etc/passwd", "quorvane"));
  EXPECT_FALSE(sandbox.StatAfter(kDefaultInstallationFolder));
  EXPECT_FALSE(sandbox.StatAfter("/etc/Quorvane.conf"));
}

// What an administrator changed after the installation stays: a line added
// to inetd.conf (the file and its backup are left and reported) and
// /usr/bin/quorvane pointed elsewhere.
TEST(ServiceScenarioTest, QvremoveKeepsWhatTheAdministratorChanged) {
  Sandbox sandbox;
  SeedMailHostWithGroups(sandbox);
  sandbox.SeedRemoved("/etc/xinetd.d/ipop3");
  const std::string original = "#pop-3\tstream\ttcp\tnowait\troot\t/usr/sbin/tcpd\tipop3d\n";
  sandbox.Seed("/etc/inetd.conf", original);
  ASSERT_EQ(RunInstaller(sandbox, kDefaultMailAnswers).exit_status, 0);
  ASSERT_EQ(sandbox
                .Run({"/bin/sh", "-c",
                      "echo '# the administrator was here' >> /etc/inetd.conf; "
                      "ln -sfn /usr/local/bin/quorvane /usr/bin/quorvane"})
                .exit_status,
            0);
  const std::string edited = sandbox.ReadAfter("/etc/inetd.conf").value_or("");

  RunResult removal = Remove(sandbox, "y\n");
  EXPECT_EQ(removal.exit_status, 0);
  for (const char* note :
       {"left /usr/bin/quorvane: it does not point to /usr/local/quorvane/bin/quorvane\n",
        "left /etc/inetd.conf: it changed after the installation; the host's earlier file is "
        "/etc/inetd.conf.qvbackup\n"}) {
    EXPECT_NE(removal.output.find(note), std::string::npos) << removal.output;
  }
  EXPECT_EQ(sandbox.ReadAfter("/etc/inetd.conf"), edited);
  EXPECT_EQ(sandbox.ReadAfter("/etc/inetd.conf.qvbackup"), original);
  EXPECT_EQ(sandbox.LinkTargetAfter("/usr/bin/quorvane"), "/usr/local/bin/quorvane");
  EXPECT_FALSE(sandbox.StatAfter("/etc/Quorvane.conf"));
}

// The mail administration commands edit the lists; qvremove keeps the user
// lists and mailboxes unless --purge is confirmed.
TEST(ServiceScenarioTest, MailListsEditedFromTheConsoleStayUnlessPurged) {
  const std::string kAdministration =
      "quorvane domain add Example.TEST; quorvane domain add example.test; quorvane domain list; "
      "echo secret | quorvane user add Bob@example.test; echo x | quorvane user add "
      "ann@example.test; echo other | quorvane user passwd bob@example.test; "
      "quorvane user remove ann@example.test; quorvane user list; "
      "echo x | quorvane user add eve@unlisted.test 2>&1; echo status $?; "
      "mkdir /var/spool/vmail/example.test; echo mail > /var/spool/vmail/example.test/bob";
  for (bool purge : {false, true}) {
    SCOPED_TRACE(purge ? "purged" : "kept");
    Sandbox sandbox;
    SeedMailHostWithGroups(sandbox);
    RunResult run = InstallThen(sandbox, kDefaultMailAnswers, kAdministration);
    const std::string not_running =
        Line("sendmail is not running; it reads the domain list when it starts");
    EXPECT_TRUE(SameTranscript(
        Line("Domain example.test added") + not_running +
            Line("Domain example.test is already listed") + Line("example.test") +
            Line("User bob@example.test added") + Line("User ann@example.test added") +
            Line("User bob@example.test has a new password") +
            Line("User ann@example.test removed") + Line("bob@example.test") +
            Line("quorvane: domain unlisted.test is not listed; add it with 'quorvane domain add "
                 "unlisted.test'") +
            Line("status 1"),
        run.output));
    EXPECT_EQ(sandbox.ReadAfter(InFolder("/etc/VirtualDomains")),
              "#This file is used by sendmail and it lists the \n#virtual email domains.\n"
              "example.test\n");
    const std::string users = sandbox.ReadAfter("/etc/vmail/example.test").value_or("");
    EXPECT_EQ(users.rfind("bob:$6$", 0), 0u) << users;
    EXPECT_EQ(std::count(users.begin(), users.end(), '\n'), 1) << users;
    // The user list is the mail account's alone.
    EXPECT_EQ(ModeAfter(sandbox, "/etc/vmail/example.test"), 0600u);
    EXPECT_EQ(sandbox.StatAfter("/etc/vmail/example.test")->st_uid, AccountUid(sandbox, "qvmail"));

    RunOptions options;
    options.stdin_text = purge ? "y\ny\n" : "y\n";
    std::vector<std::string> argv = {InFolder("/bin/qvremove")};
    if (purge) argv.push_back("--purge");
    RunResult removal = sandbox.Run(argv, options);
    EXPECT_EQ(removal.exit_status, 0) << removal.output;
    EXPECT_EQ(!purge, removal.output.find("kept /etc/vmail: it holds mailboxes or user lists") !=
                          std::string::npos)
        << removal.output;
    EXPECT_EQ(!purge, sandbox.ReadAfter("/var/spool/vmail/example.test/bob").has_value());
    EXPECT_EQ(!purge, sandbox.StatAfter("/etc/vmail/example.test").has_value());
    EXPECT_FALSE(sandbox.StatAfter("/etc/Quorvane.conf"));
  }
}

}  // namespace
