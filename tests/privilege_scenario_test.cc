// What a local user can make the installed service do: take the slots the
// administrator needs, have root signal a process of their choosing, or
// have qvremove delete through a mount inside the spool.

#include <gtest/gtest.h>

#include <string>

#include "sandbox/sandbox.h"
#include "tests/installer_run.h"

namespace {

// Installs in the same run as `after` (a daemon lives only as long as its
// run, and so does a mount); the output is `after`'s alone.
RunResult InstallThen(Sandbox& sandbox, const std::string& answers, const std::string& after) {
  sandbox.Seed("/tmp/answers", answers);
  RunOptions options;
  options.working_dir = DistDir();
  return sandbox.Run({"/bin/sh", "-c", "./qvinstall < /tmp/answers > /dev/null 2>&1; " + after},
                     options);
}

// 64 clients from 127.0.0.1 (which is always listed) hold every slot they
// can get; the administrator's machine, listed at install time, still gets
// its greeting.
constexpr char kCrowd[] = R"py(import socket
def greeting(source):
    s = socket.socket()
    s.bind((source, 0))
    s.connect(("127.0.0.1", 33333))
    s.settimeout(10)
    return s, s.recv(100).decode().strip()
crowd = [greeting("127.0.0.1") for _ in range(64)]
served = sum(1 for _, text in crowd if text == "+OK Quorvane server ready")
refused = sum(1 for _, text in crowd if text == "-ERR too many clients")
print("local clients: %d served, %d refused" % (served, refused))
print("administrator:", greeting("192.168.1.20")[1])
)py";

TEST(PrivilegeScenarioTest, AdministratorsMachineGetsASlotWhileLocalClientsHoldTheRest) {
  Sandbox sandbox;
  SeedStandardHost(sandbox);
  sandbox.Seed("/tmp/crowd.py", kCrowd);
  RunResult run = InstallThen(sandbox, kDefaultAnswers,
                              "ip addr add 192.168.1.20/32 dev lo && /usr/bin/python3 "
                              "/tmp/crowd.py; quorvane stop > /dev/null");
  EXPECT_EQ(run.output,
            "local clients: 60 served, 4 refused\n"
            "administrator: +OK Quorvane server ready\n");
}

// `quorvane domain add` signals the pid in SendMailPIDFile only when that
// process runs sendmail; any other process is named and left alone. The
// process is then ended with SIGTERM: a SIGHUP sent before (pending or
// delivered) ends it first, as the lower signal, so its exit status tells.
TEST(PrivilegeScenarioTest, SighupGoesOnlyToSendmail) {
  const struct {
    const char* name;
    const char* program;  // run as root, its pid written to the pid file
    const char* said;
    const char* status;  // 128 + the signal that ended it
  } kCases[] = {
      {"root's sleep", "/usr/bin/sleep",
       "runs /usr/bin/sleep, not sendmail; no signal sent\n"
       "sendmail reads the domain list when it starts again\n",
       "143"},
      {"a program called sendmail", "/var/tmp/sbin/sendmail",
       "sendmail reads the domain list again\n", "129"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    Sandbox sandbox;
    SeedMailHostWithGroups(sandbox);
    RunResult run = InstallThen(
        sandbox, kDefaultMailAnswers,
        std::string("mkdir -p /var/tmp/sbin; cp /usr/bin/sleep /var/tmp/sbin/sendmail\n") +
            c.program + " 300 & pid=$!\n" +
            "echo $pid > /var/run/sendmail.pid\n"
            "quorvane domain add example.test | sed 's/^process [0-9]* named by "
            "\\/var\\/run\\/sendmail.pid //'\n"
            "kill -TERM $pid 2>/dev/null; { wait $pid; } 2>/dev/null; echo ended $?\n");
    EXPECT_EQ(run.output,
              std::string("Domain example.test added\n") + c.said + "ended " + c.status + "\n");
  }
}

// qvremove --purge empties the spool but stops at every mount inside it:
// a folder or a file bound there from elsewhere on the same file system
// keeps what it holds.
TEST(PrivilegeScenarioTest, PurgeStopsAtBindMountsInTheSpool) {
  const struct {
    const char* name;
    const char* bind;  // seeds /srv/outside and mounts it in the spool
  } kCases[] = {
      {"folder",
       "mkdir -p /srv/outside /var/spool/vmail/example.test/bound; echo kept > /srv/outside/keep; "
       "mount --bind /srv/outside /var/spool/vmail/example.test/bound"},
      {"file",
       "mkdir -p /srv/outside /var/spool/vmail/example.test; echo kept > /srv/outside/keep; "
       "echo mail > /var/spool/vmail/example.test/bob; "
       "mount --bind /srv/outside/keep /var/spool/vmail/example.test/bob"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    Sandbox sandbox;
    SeedMailHostWithGroups(sandbox);
    RunResult run =
        InstallThen(sandbox, kDefaultMailAnswers,
                    std::string(c.bind) + "\nprintf 'y\\ny\\n' | " + InFolder("/bin/qvremove") +
                        " --purge > /tmp/removal.log 2>&1; echo removal $?\n" +
                        "cat /srv/outside/keep; grep -c 'cannot remove /var/spool/vmail' "
                        "/tmp/removal.log\n");
    EXPECT_EQ(run.output, "removal 1\nkept\n1\n");
  }
}

}  // namespace
