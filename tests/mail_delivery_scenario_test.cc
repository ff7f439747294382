// The mail path end to end with real daemons in the sandbox: the installer
// hooks the package into Debian's sendmail and xinetd or openbsd-inetd,
// then real clients send mail over SMTP and fetch it over POP3.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "sandbox/sandbox.h"
#include "tests/installer_run.h"
#include "tests/mail_daemons.h"
#include "tests/mail_host_test.h"
#include "tests/pop3_client_view.h"

namespace {

// A message that needs its "From " line quoted and its dot line stuffed.
std::string Message(const std::string& subject, const std::string& to) {
  return "From: Sender <sender@qvhost.example.test>\n"
         "To: " +
         to +
         "\n"
         "Subject: " +
         subject +
         "\n"
         "Date: Mon, 07 Dec 2026 10:00:00 +0000\n"
         "Message-ID: <" +
         subject +
         "@qvhost.example.test>\n"
         "\n"
         "From the start of a line\n"
         ">From a quoted line\n"
         ".a dot line\n"
         "\n"
         "the end of " +
         subject + "\n";
}

// The message as retrieved, less the trace headers sendmail puts on top.
std::string WithoutTraceHeaders(const std::string& text) {
  size_t at = 0;
  bool trace = false;
  while (at < text.size()) {
    const size_t end = text.find('\n', at);
    const std::string line = text.substr(at, end - at);
    const bool continued = !line.empty() && (line[0] == ' ' || line[0] == '\t');
    if (!(continued && trace) && line.rfind("Received:", 0) != 0 &&
        line.rfind("Return-Path:", 0) != 0)
      break;
    trace = !continued ? true : trace;
    at = end + 1;
  }
  return text.substr(at);
}

// "m1", "m2", ...
std::string MessageName(int number) {
  std::string name = "m";
  return name.append(std::to_string(number));
}

// The whole path through either super-server: SMTP in, vdeliver, the
// mailbox, vpop3d, POP3 out, DELE and QUIT.
class SmtpInPop3OutTest : public MailDeliveryTest,
                          public testing::WithParamInterface<SuperServer> {};

TEST_P(SmtpInPop3OutTest, MessageComesBackByteForByteAndIsDeleted) {
  if (!SetUpHost(GetParam())) GTEST_SKIP() << skip_reason_;
  const std::string message = Message("first", "alice@example.test");
  SeedMessage("first", message);
  Install();
  const std::string check_entry = GetParam() == SuperServer::kXinetd
                                      ? "grep -q vpop3d /etc/xinetd.d/ipop3\n"
                                      : "grep -q '^pop-3.*vpop3d' /etc/inetd.conf\n";
  RunResult run = RunClients(
      GetParam() == SuperServer::kXinetd ? "xinetd" : "inet",
      check_entry + "client send sender@qvhost.example.test alice@example.test " + kWork +
          "/first\n"
          "client wait " +
          kMailbox +
          " 1 30\n"
          "cp " +
          kMailbox + " " + kWork +
          "/delivered\n"
          "client fetch alice@example.test " +
          kPassword + " " + kWork +
          "/fetched --delete\n"
          "client wait " +
          kMailbox + " 0 0\n");
  EXPECT_NE(run.output.find("accepted first\nmessages 1\n"), std::string::npos) << run.output;
  EXPECT_NE(
      run.output.find("+OK alice@example.test has 1 messages\n+OK bye\nfetched 1\nmessages 0\n"),
      std::string::npos)
      << run.output;

  const std::string delivered = sandbox_.ReadAfter(std::string(kWork) + "/delivered").value_or("");
  EXPECT_EQ(delivered.rfind("From sender@qvhost.example.test ", 0), 0u) << delivered;
  EXPECT_NE(delivered.find("\n>From the start of a line\n>>From a quoted line\n"),
            std::string::npos)
      << delivered;
  EXPECT_TRUE(delivered.ends_with("\nthe end of first\n\n")) << delivered;
  const std::string fetched = sandbox_.ReadAfter(std::string(kWork) + "/fetched/1").value_or("");
  EXPECT_EQ(WithoutTraceHeaders(fetched), message) << fetched;
  EXPECT_EQ(sandbox_.ReadAfter(kMailbox), "");
}

INSTANTIATE_TEST_SUITE_P(SuperServers, SmtpInPop3OutTest,
                         testing::Values(SuperServer::kXinetd, SuperServer::kInetd),
                         [](const testing::TestParamInfo<SuperServer>& info) {
                           return info.param == SuperServer::kXinetd ? "Xinetd" : "Inetd";
                         });

// What must not reach a virtual mailbox does not, and the host's own mail
// still reaches its users through sendmail's own local mailer.
TEST_F(MailDeliveryTest, SendmailRoutesEachAddressWhereItBelongs) {
  if (!SetUpHost(SuperServer::kXinetd)) GTEST_SKIP() << skip_reason_;
  sandbox_.Seed("/etc/passwd", *sandbox_.ReadAfter("/etc/passwd") +
                                   "hostuser:x:1500:1500:Host User:/home/hostuser:/bin/sh\n");
  for (const char* name : {"local", "unknown", "unlisted", "relay"})
    SeedMessage(name, Message(name, "x"));
  Install();
  const std::string from = "hostuser@qvhost.example.test ";
  const std::string w = std::string(kWork) + "/";
  RunResult run = RunClients(
      "xinetd", "client send " + from + "hostuser@qvhost.example.test " + w + "local\n" +
                    "client send " + from + "nobody@example.test " + w + "unknown\n" +
                    "client send " + from + "alice@unlisted.test " + w + "unlisted\n" +
                    // A client elsewhere: mail for the virtual domain is taken, relaying refused.
                    "ip addr add 10.1.2.3/32 dev lo\n"
                    "client send --source 10.1.2.3 " +
                    from + "stranger@elsewhere.test " + w + "relay\n" +
                    "client send --source 10.1.2.3 " + from + "alice@example.test " + w +
                    "relay\n" +
                    // The local message and the bounce for the unknown user.
                    "client wait /var/mail/hostuser 2 30\n"
                    "client wait " +
                    kMailbox + " 1 30\n");
  EXPECT_NE(run.output.find("accepted local\naccepted unknown\naccepted unlisted\nrefused 550\n"
                            "accepted relay\nmessages 2\nmessages 1\n"),
            std::string::npos)
      << run.output << Logs();
  const std::string local = sandbox_.ReadAfter("/var/mail/hostuser").value_or("");
  EXPECT_NE(local.find("\nSubject: local\n"), std::string::npos) << local;
  EXPECT_NE(local.find("nobody@example.test: no such user"), std::string::npos) << local;
  EXPECT_NE(local.find("\n>From the start of a line\n"), std::string::npos) << local;
  EXPECT_FALSE(sandbox_.StatAfter("/var/spool/vmail/unlisted.test"));
  EXPECT_FALSE(sandbox_.StatAfter("/var/spool/vmail/example.test/nobody"));
  const std::string mailbox = sandbox_.ReadAfter(kMailbox).value_or("");
  EXPECT_NE(mailbox.find("\nSubject: relay\n"), std::string::npos) << mailbox;
}

// Twenty messages sent while a POP3 session holds the mailbox wait for it,
// then all arrive, each once and whole.
TEST_F(MailDeliveryTest, MailSentDuringAPop3SessionArrivesWhenItEnds) {
  if (!SetUpHost(SuperServer::kXinetd)) GTEST_SKIP() << skip_reason_;
  constexpr int kCount = 20;
  for (int i = 1; i <= kCount; ++i)
    SeedMessage(MessageName(i), Message(MessageName(i), "alice@example.test"));
  Install();
  const std::string w = std::string(kWork) + "/";
  // Each message in its own SMTP connection, each delivery a vdeliver of
  // its own that waits for the lock; the mailbox is looked at once all of
  // them wait.
  RunResult run =
      RunClients("xinetd", std::string(kAwaitFunctions) +
                               "count_of() { c=0; for p in /proc/[0-9]*; do\n"
                               "  [ \"$(cat $p/comm 2>/dev/null)\" = \"$1\" ] && c=$((c + 1))\n"
                               "done; echo $c; }\n"
                               "client fetch alice@example.test " +
                               std::string(kPassword) + " " + w + "held --hold " + w +
                               "release > " + w + "held.log &\n" + "await '[ -e " + kMailbox +
                               ".lock ]'\n"
                               "for i in $(seq 1 " +
                               std::to_string(kCount) +
                               "); do\n"
                               "  client send sender@qvhost.example.test alice@example.test " +
                               w + "m$i > " + w +
                               "sent.$i &\n"
                               "done\n"
                               "await '[ $(count_of vdeliver) -ge " +
                               std::to_string(kCount) +
                               " ]'\n"
                               "client wait " +
                               kMailbox +
                               " 1 0\n"
                               "touch " +
                               w +
                               "release\n"
                               "wait\n"
                               "cat " +
                               w +
                               "sent.* | grep -c accepted\n"
                               "client wait " +
                               kMailbox +
                               " 20 40\n"
                               "client fetch alice@example.test " +
                               kPassword + " " + w + "all\n");
  EXPECT_NE(run.output.find("messages 0\n20\nmessages 20\n"), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("fetched 20\n"), std::string::npos) << run.output;
  EXPECT_NE(sandbox_.ReadAfter(w + "held.log").value_or("").find("fetched 0\n"), std::string::npos);
  std::vector<std::string> arrived;
  for (int i = 1; i <= kCount; ++i)
    arrived.push_back(WithoutTraceHeaders(
        sandbox_.ReadAfter(std::string(kWork) + "/all/" + std::to_string(i)).value_or("")));
  std::sort(arrived.begin(), arrived.end());
  std::vector<std::string> sent;
  for (int i = 1; i <= kCount; ++i) sent.push_back(Message(MessageName(i), "alice@example.test"));
  std::sort(sent.begin(), sent.end());
  EXPECT_EQ(arrived, sent);
}

// vdeliver's answers to sendmail, and a delivery cut short by a full disk
// that leaves the mailbox as it was.
TEST_F(MailDeliveryTest, VdeliverAnswersWithSysexitsCodes) {
  if (!SetUpHost(SuperServer::kXinetd)) GTEST_SKIP() << skip_reason_;
  Install();
  const struct {
    std::string arguments, expected;
  } cases[] = {
      {"alice example.test", "0"},     {"ALICE Example.Test.", "0"},
      {"nobody example.test", "67"},   {"alice unlisted.test", "68"},
      {"../alice example.test", "67"}, {"alice ..", "68"},
      {".alice example.test", "67"},   {"alice", "64"},
      {"-x alice example.test", "64"},
  };
  std::string script = "set +e\nvdeliver=" + InFolder("/bin/vdeliver") + "\n";
  std::string expected;
  for (const auto& c : cases) {
    script += "echo 'Subject: code' | $vdeliver " + c.arguments + " 2>/dev/null; echo \"" +
              c.arguments + ": $?\"\n";
    expected += c.arguments + ": " + c.expected + "\n";
  }
  // A disk too small for the message: the two earlier messages stay as they were.
  // The mailbox and its folder stay the mail account's, as vdeliver writes as it.
  script += "cp -p " + std::string(kMailbox) + " " + kWork +
            "/before\n"
            "mount -t tmpfs -o size=12k,mode=0700,uid=$(id -u qvmail) tmpfs "
            "/var/spool/vmail/example.test\n"
            "cp -p " +
            kWork + "/before " + kMailbox +
            "\n"
            "head -c 100000 /dev/zero | tr '\\0' x | $vdeliver alice example.test 2>/dev/null; "
            "echo \"full: $?\"\n"
            "cmp " +
            kMailbox + " " + kWork +
            "/before && echo unchanged\n"
            "umount /var/spool/vmail/example.test\n"
            "mv /etc/Quorvane.conf /etc/Quorvane.conf.away\n"
            "echo x | $vdeliver alice example.test; echo \"no configuration: $?\"\n";
  expected += "full: 75\nunchanged\n";
  RunResult run = RunClients("xinetd", script);
  EXPECT_NE(run.output.find(expected), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("vdeliver: /etc/Quorvane.conf: No such file or directory\n"
                            "no configuration: 78\n"),
            std::string::npos)
      << run.output;
}

// vpop3d through xinetd answers every bad input with -ERR and keeps going;
// three failed logins end the session.
TEST_F(MailDeliveryTest, Vpop3dRefusesBadInputWithoutCrashing) {
  if (!SetUpHost(SuperServer::kXinetd)) GTEST_SKIP() << skip_reason_;
  Install();
  RunResult run =
      RunClients("xinetd",
                 "client talk STAT 'USER alice@example.test' 'RETR 1' 'PASS wrong' HELO "
                 "\"USER $(head -c 2000 /dev/zero | tr '\\0' a)\" 'USER a\\x00\\xff' 'LIST 0' NOOP "
                 "'USER root' 'USER alice%example.test' " +
                     std::string(kPassword).insert(1, "PASS ") +
                     " 'PASS again' 'LIST 9' 'RETR 1' STAT 'UIDL 1' QUIT\n"
                     "client talk 'USER a@example.test' 'PASS x' 'USER a@example.test' 'PASS y' "
                     "'USER alice@example.test' 'PASS z' NOOP\n");
  EXPECT_NE(run.output.find("+OK POP3 server ready\n"
                            "-ERR log in first\n"
                            "+OK send your password\n"
                            "-ERR log in first\n"
                            "-ERR invalid user name or password\n"
                            "-ERR unknown command\n"
                            "-ERR command line too long\n"
                            "-ERR command holds bytes that are not printable text\n"
                            "-ERR invalid message number\n"
                            "+OK\n"
                            "-ERR only virtual mailboxes are served here: log in as user@domain\n"
                            "+OK send your password\n"
                            "+OK alice@example.test has 0 messages\n"
                            "-ERR already logged in\n"
                            "-ERR no such message\n"
                            "-ERR no such message\n"
                            "+OK 0 0\n"
                            "-ERR no such message\n"
                            "+OK bye\n"),
            std::string::npos)
      << run.output;
  EXPECT_NE(run.output.find("-ERR invalid user name or password\n"
                            "+OK send your password\n"
                            "-ERR too many failed logins\n"
                            "(closed)\n"),
            std::string::npos)
      << run.output;
}

// A login without a domain is the host's own POP3 daemon's: vpop3d hands
// it the USER line and relays the rest of the session.
TEST_F(MailDeliveryTest, LoginWithoutADomainGoesToTheSystemPop3Daemon) {
  if (!SetUpHost(SuperServer::kXinetd)) GTEST_SKIP() << skip_reason_;
  sandbox_.Seed("/usr/sbin/ipop3d",
                "#!/bin/sh\n"
                "echo '+OK the host POP3 daemon'\n"
                "while read -r line; do\n"
                "  line=$(printf '%s' \"$line\" | tr -d '\\r')\n"
                "  echo \"+OK host daemon got $line\"\n"
                "  [ \"$line\" = QUIT ] && exit 0\n"
                "done\n",
                0755);
  Install();
  RunResult run = RunClients("xinetd", "client talk NOOP 'USER root' 'PASS secret' QUIT\n");
  EXPECT_NE(run.output.find("+OK POP3 server ready\n+OK\n+OK host daemon got USER root\n"
                            "+OK host daemon got PASS secret\n+OK host daemon got QUIT\n"),
            std::string::npos)
      << run.output;
}

// A message of exactly `size` bytes of mail text: short header, then lines
// of 76 letters with now and then a dot line or a "From " line.
std::string TextMessage(const std::string& subject, size_t size) {
  std::string text =
      "From: Sender <sender@qvhost.example.test>\nTo: alice@example.test\n"
      "Subject: " +
      subject + "\n\n";
  uint32_t state = static_cast<uint32_t>(size);
  static constexpr char kLetters[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  for (size_t line = 0; text.size() < size; ++line) {
    if (line % 50 == 7) text += line % 100 == 7 ? "." : "From here";
    for (int i = 0; i < 76; ++i) {
      state = state * 1103515245u + 12345u;
      text += kLetters[(state >> 16) % 64];
    }
    text += '\n';
  }
  text.resize(size - 1);
  return text + "\n";
}

// fetchmail breaks a line longer than its 8 KiB buffer itself: each piece
// gets a NUL, one more byte and a line feed after it. The messages sent
// hold no NUL, so these come out again.
std::string WithoutFetchmailBreaks(const std::string& text) {
  std::string whole;
  for (size_t at = 0; at < text.size(); ++at) {
    if (text[at] == '\0' && at + 2 < text.size() && text[at + 2] == '\n')
      at += 2;
    else
      whole += text[at];
  }
  return whole;
}

// The messages of the measurements that found the loss, delivered as
// then by vdeliver, and a 10 MB mail with an attachment sent through
// sendmail; curl, poplib and fetchmail each fetch them all, through the
// super-server of the parameter, and each gets every message whole.
class RealClientsTest : public MailDeliveryTest, public testing::WithParamInterface<SuperServer> {};

TEST_P(RealClientsTest, FetchEveryMessageWhole) {
  if (!SetUpHost(GetParam())) GTEST_SKIP() << skip_reason_;
  const std::vector<std::string> delivered = {
      TextMessage("10 KiB", 10 * 1024),
      TextMessage("65 KiB", 65 * 1024 + 78),
      TextMessage("100 KiB", 100 * 1024 + 2),
      TextMessage("1 MiB", 1024 * 1024 + 97),
      TextMessage("10 MiB", 10 * 1024 * 1024 + 18),
      "Subject: a long line\n\n" + std::string(200 * 1024, 'x') + "\n.\n",
  };
  const std::string w = std::string(kWork) + "/";
  std::string script;
  for (size_t i = 0; i < delivered.size(); ++i) {
    const std::string name = MessageName(static_cast<int>(i + 1));
    SeedMessage(name, delivered[i]);
    script += InFolder("/bin/vdeliver") + " alice example.test < " + w + name + "\n";
  }
  const size_t count = delivered.size() + 1;
  const std::string last = std::to_string(count);
  const std::string last_name = MessageName(static_cast<int>(count));
  // The attachment is made where it is sent: 7.5 MiB of random bytes.
  script +=
      "{ printf 'From: Sender <sender@qvhost.example.test>\\nTo: alice@example.test\\n"
      "Subject: attachment\\nDate: Mon, 07 Dec 2026 10:00:00 +0000\\n"
      "Message-ID: <attachment@qvhost.example.test>\\nMIME-Version: 1.0\\n"
      "Content-Type: multipart/mixed; boundary=\"b1\"\\n\\n--b1\\n"
      "Content-Type: text/plain\\n\\nThe data is attached.\\n\\n--b1\\n"
      "Content-Type: application/octet-stream; name=\"data.bin\"\\n"
      "Content-Transfer-Encoding: base64\\n\\n'\n"
      "  head -c 7864320 /dev/urandom | base64 -w 76\n"
      "  printf '\\n--b1--\\n'\n"
      "} > " +
      w + last_name +
      "\n"
      "client send sender@qvhost.example.test alice@example.test " +
      w + last_name +
      "\n"
      "client wait " +
      kMailbox + " " + last +
      " 120\n"
      "now() { date +%s.%N; }\n"
      "start=$(now)\n"
      "client fetch alice@example.test " +
      kPassword + " " + w +
      "poplib\n"
      "echo \"poplib seconds: $(awk \"BEGIN { print $(now) - $start }\")\"\n"
      "mkdir " +
      w +
      "curl\n"
      "start=$(now)\n"
      "for i in $(seq 1 " +
      last +
      "); do\n"
      "  curl -sS --max-time 120 --user alice@example.test:" +
      kPassword + " pop3://127.0.0.1/$i -o " + w +
      "curl/$i\n"
      "done\n"
      "echo \"curl seconds: $(awk \"BEGIN { print $(now) - $start }\")\"\n"
      "mkdir " +
      w +
      "fetchmail\n"
      // fetchmail hands each message to a delivery program: one file each.
      "printf '#!/bin/sh\\nn=$(ls \"$1\" | wc -l)\\ncat > \"$1/$((n + 1))\"\\n' > " +
      w +
      "store\n"
      "chmod 0755 " +
      w +
      "store\n"
      "printf 'set no syslog\\npoll 127.0.0.1 protocol pop3 port 110 timeout 120\\n"
      "  user \"alice@example.test\" there with password \"Hello world!\" is root here\\n"
      "  sslproto \"\" fetchall keep norewrite mda \"" +
      w + "store " + w + "fetchmail\"\\n' > " + w +
      "fetchmailrc\n"
      "chmod 0600 " +
      w +
      "fetchmailrc\n"
      "start=$(now)\n"
      "fetchmail -f " +
      w +
      "fetchmailrc; echo \"fetchmail: $?\"\n"
      "echo \"fetchmail seconds: $(awk \"BEGIN { print $(now) - $start }\")\"\n";
  Install();
  RunResult run = RunClients(GetParam() == SuperServer::kXinetd ? "xinetd" : "inet", script, 600);
  EXPECT_NE(run.output.find("messages " + last + "\n"), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("fetched " + last + "\n"), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("fetchmail: 0\n"), std::string::npos) << run.output;
  // fetchmail compares each message with the size LIST gave.
  EXPECT_EQ(run.output.find("not the expected length"), std::string::npos) << run.output;
  std::vector<std::string> sent = delivered;
  sent.push_back(sandbox_.ReadAfter(w + last_name).value_or(""));
  for (const char* client : {"poplib", "curl", "fetchmail"}) {
    for (size_t i = 0; i < count; ++i) {
      std::string fetched =
          sandbox_.ReadAfter(w + client + "/" + std::to_string(i + 1)).value_or("(missing)");
      // curl writes what the server sent, CR LF line ends included.
      if (std::string(client) == "curl") std::erase(fetched, '\r');
      if (std::string(client) == "fetchmail") fetched = WithoutFetchmailBreaks(fetched);
      fetched = WithoutTraceHeaders(fetched);
      EXPECT_TRUE(fetched == sent[i])
          << client << ", message " << i + 1 << ": " << DescribeDifference(fetched, sent[i]);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(SuperServers, RealClientsTest,
                         testing::Values(SuperServer::kXinetd, SuperServer::kInetd),
                         [](const testing::TestParamInfo<SuperServer>& info) {
                           return info.param == SuperServer::kXinetd ? "Xinetd" : "Inetd";
                         });

}  // namespace
