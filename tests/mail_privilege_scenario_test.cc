// What a mail client, or a message, can make the mail programs do, with
// the real daemons in the sandbox: no process that reads the network or a
// message keeps root, password guessing is limited per address across
// connections, and the small faults that kept mail out of a mailbox.

#include <gtest/gtest.h>

#include <string>

#include "sandbox/sandbox.h"
#include "tests/installer_run.h"
#include "tests/mail_daemons.h"
#include "tests/mail_host_test.h"

namespace {

// Shell helpers for the scripts below: waiting for an event with a bound,
// and the ids of every process running a given program.
const std::string kScriptHelpers =
    std::string(kAwaitFunctions) +
    "ids_of() { for p in /proc/[0-9]*; do\n"
    "  [ \"$(cat $p/comm 2>/dev/null)\" = \"$1\" ] && grep '^Uid:' $p/status | tr '\\t' ' '\n"
    "done | sort; }\n";

// "Uid: N N N N": real, effective, saved and file-system user id alike.
std::string Uids(uid_t uid) {
  const std::string id = std::to_string(uid);
  return "Uid: " + id + " " + id + " " + id + " " + id + "\n";
}

// A vpop3d waiting for a login has a root monitor and a reader running as
// nobody; after the login only the session runs, as the mail account. A
// vdeliver holding the mailbox while it reads the message runs as the mail
// account too, and the files it makes are the mail account's.
TEST_F(MailDeliveryTest, MailProgramsServeClientsAndMessagesWithoutRoot) {
  if (!SetUpHost(SuperServer::kXinetd)) GTEST_SKIP() << skip_reason_;
  Install();
  const std::string w = std::string(kWork) + "/";
  RunResult run = RunClients(
      "xinetd",
      kScriptHelpers +
          // Before the login.
          "client greet " + w + "greeted > " + w + "greet.log &\n" + "await 'grep -q ready " + w +
          "greet.log'\n" + "echo before login:; ids_of vpop3d\n" + "touch " + w +
          "greeted; wait\n" +
          // After the login.
          "client fetch alice@example.test " + kPassword + " " + w + "held --hold " + w +
          "released > " + w + "fetch.log &\n" + "await 'grep -q has " + w + "fetch.log'\n" +
          "echo after login:; ids_of vpop3d\n" + "touch " + w + "released; wait\n" +
          // A delivery that waits for its message with the mailbox locked.
          "mkfifo " + w + "message\n" + InFolder("/bin/vdeliver") + " alice example.test < " + w +
          "message &\n" + "exec 4> " + w + "message\n" + "await '[ -e " + kMailbox + ".lock ]'\n" +
          "echo while delivering:; ids_of vdeliver\n" +
          "echo 'Subject: held' >&4; exec 4>&-; wait $!; echo delivered $?\n");
  const uid_t mail_uid = AccountUid(sandbox_, "qvmail").value_or(0);
  ASSERT_NE(mail_uid, 0u) << run.output;
  const uid_t nobody = AccountUid(sandbox_, "nobody").value_or(0);
  EXPECT_NE(
      run.output.find("before login:\n" + Uids(0) + Uids(nobody) + "after login:\n" +
                      Uids(mail_uid) + "while delivering:\n" + Uids(mail_uid) + "delivered 0\n"),
      std::string::npos)
      << run.output << Logs();
  for (const std::string& path :
       {std::string("/var/spool/vmail"), std::string("/var/spool/vmail/example.test"),
        std::string(kMailbox)}) {
    const auto st = sandbox_.StatAfter(path);
    ASSERT_TRUE(st) << path;
    EXPECT_EQ(st->st_uid, mail_uid) << path;
    EXPECT_EQ(st->st_mode & 077, 0u) << path;
  }
}

// Wrong passwords from one address over four connections at once, three
// each: ten are checked, however the connections interleave, and every
// further login from that address is refused before its password is looked
// at, the right one included; another address is not held up.
TEST_F(MailDeliveryTest, GuessingIsLimitedPerAddressAcrossConnections) {
  if (!SetUpHost(SuperServer::kXinetd)) GTEST_SKIP() << skip_reason_;
  Install();
  const std::string w = std::string(kWork) + "/";
  const std::string right = std::string(kPassword).insert(1, "PASS ");
  const std::string guess = " 'USER alice@example.test' 'PASS wrong'";
  // Each connection ends refused, or at its third failure.
  const std::string refused = "-ERR too many failed logins from your address; try again later";
  const std::string third = "-ERR too many failed logins";
  // The lines of the four connections that match the patterns that follow.
  const std::string count = "$(cat " + w + "guesses.* | grep -c -x -e ";
  RunResult run = RunClients(
      "xinetd", kScriptHelpers + "for i in 1 2 3 4; do\n  client talk" + guess + guess + guess +
                    " > " + w + "guesses.$i &\ndone\nwait\n" + "echo checked " + count +
                    "'-ERR invalid user name or password' -e '" + third + "')\n" + "echo ended " +
                    count + "'" + refused + "' -e '" + third + "')\n" +
                    // xinetd takes four connections from one address at a time.
                    "await '! ids_of vpop3d | grep -q .'\n" +
                    "client talk 'USER alice@example.test' " + right + "\n" +
                    "ip addr add 10.1.2.3/32 dev lo\n" + "client talk --source 10.1.2.3 " +
                    "'USER alice@example.test' " + right + " QUIT\n");
  EXPECT_NE(run.output.find("checked 10\nended 4\n"
                            "+OK POP3 server ready\n+OK send your password\n" +
                            refused +
                            "\n"
                            "+OK POP3 server ready\n+OK send your password\n"
                            "+OK alice@example.test has 0 messages\n+OK bye\n"),
            std::string::npos)
      << run.output << Logs();
}

// A session or a delivery killed while it held the mailbox leaves its lock
// file behind; the next program takes the mailbox over at once instead of
// waiting for the lock to grow old.
TEST_F(MailDeliveryTest, LockLeftByAKilledProgramIsTakenOverAtOnce) {
  if (!SetUpHost(SuperServer::kXinetd)) GTEST_SKIP() << skip_reason_;
  Install();
  const std::string w = std::string(kWork) + "/";
  RunResult run = RunClients(
      "xinetd", kScriptHelpers + "client fetch alice@example.test " + kPassword + " " + w +
                    "held --hold " + w + "released > " + w + "fetch.log 2>&1 &\n" + "await '[ -e " +
                    kMailbox + ".lock ]'\n" +
                    "session=$(for p in /proc/[0-9]*; do [ \"$(cat $p/comm 2>/dev/null)\" = "
                    "vpop3d ] && basename $p; done; true)\n" +
                    "kill -KILL $session; await '! kill -0 $session 2>/dev/null'\n" + "touch " + w +
                    "released; wait || true\n" + "[ -e " + kMailbox +
                    ".lock ] && echo lock left behind\n" + "echo 'Subject: after' | " +
                    InFolder("/bin/vdeliver") + " alice example.test; echo delivered $?\n" +
                    "[ -e " + kMailbox + ".lock ] || echo lock gone\n" +
                    "client fetch alice@example.test " + kPassword + " " + w + "after\n");
  EXPECT_NE(run.output.find("lock left behind\ndelivered 0\nlock gone\n+OK POP3 server ready\n"
                            "+OK alice@example.test has 1 messages\n+OK bye\nfetched 1\n"),
            std::string::npos)
      << run.output << Logs();
}

// A password holding a NUL is refused where it is set and where it is
// given: crypt(3) would have read it only up to the NUL.
TEST_F(MailDeliveryTest, PasswordHoldingANulIsRefused) {
  if (!SetUpHost(SuperServer::kXinetd)) GTEST_SKIP() << skip_reason_;
  Install();
  RunResult run = RunClients(
      "xinetd",
      "printf 'sec\\000ret\\n' | quorvane user add nul@example.test 2>&1 || echo refused $?\n"
      "grep -c '^nul:' /etc/vmail/example.test || true\n"
      "client talk 'USER alice@example.test' 'PASS Hello world!\\x00tail' NOOP\n");
  EXPECT_NE(run.output.find("quorvane: a password may hold only printable ASCII characters (no "
                            "NUL or control character)\nrefused 1\n0\n"
                            "+OK POP3 server ready\n+OK send your password\n"
                            "-ERR command holds bytes that are not printable text\n+OK\n"),
            std::string::npos)
      << run.output << Logs();
}

// Something other than a plain file at a mailbox's name can never take
// mail: sendmail is told so (73) rather than asked to try again (75).
TEST_F(MailDeliveryTest, FolderAtAMailboxPathIsRefusedForGood) {
  if (!SetUpHost(SuperServer::kXinetd)) GTEST_SKIP() << skip_reason_;
  Install();
  const struct {
    const char* user;
    const char* made_by;
  } kCases[] = {
      {"folder", "mkdir"},
      {"fifo", "mkfifo"},
      {"link", "ln -s /var/tmp/elsewhere"},
  };
  std::string script, expected;
  for (const auto& c : kCases) {
    script += std::string("echo '") + c.user + ":!' >> /etc/vmail/example.test\n" + c.made_by +
              " /var/spool/vmail/example.test/" + c.user + "\n" + "echo x | " +
              InFolder("/bin/vdeliver") + " " + c.user +
              " example.test 2>/dev/null && status=0 || status=$?; echo " + c.user + " $status\n";
    expected += std::string(c.user) + " 73\n";
  }
  RunResult run = RunClients("xinetd",
                             "echo x | " + InFolder("/bin/vdeliver") +
                                 " alice example.test\n"  // makes the domain's folder
                                 + script);
  EXPECT_NE(run.output.find(expected), std::string::npos) << run.output << Logs();
}

}  // namespace
