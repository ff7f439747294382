// The product on a Debian 12 mail and DNS server as the distribution ships
// it: bind9, sendmail-bin and sendmail-cf, xinetd or openbsd-inetd, and
// tcpd, installed from Debian's packages into sandbox layers and used as
// installed. Init scripts live in /etc/init.d, sendmail.cf is made from
// sendmail.mc, the mail queue belongs to smmta, and neither super-server has
// a POP3 entry. Every daemon is started with its own init script before the
// installer runs with the README's unattended answers.

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <string_view>

#include "sandbox/sandbox.h"
#include "tests/installer_run.h"
#include "tests/mail_daemons.h"

namespace {

constexpr char kWork[] = "/var/tmp/qvtest";
constexpr char kMailbox[] = "/var/spool/vmail/example.test/alice";
constexpr char kRootMailbox[] = "/var/mail/root";

// The README's unattended answers for an installation with the mail part,
// as an administrator copies them: the printf line that answers "y" first.
std::string ReadmeMailAnswers() {
  std::ifstream in(QV_SOURCE_DIR "/README.md");
  std::string line;
  while (std::getline(in, line)) {
    const std::string start = "printf 'y\\n";
    if (line.rfind(start, 0) != 0 || line.find("| sudo ./qvinstall") == std::string::npos) continue;
    const std::string quoted = line.substr(8, line.find('\'', 8) - 8);
    std::string answers;
    for (size_t i = 0; i < quoted.size(); ++i) {
      if (quoted[i] == '\\' && i + 1 < quoted.size() && quoted[i + 1] == 'n') {
        answers += '\n';
        ++i;
      } else {
        answers += quoted[i];
      }
    }
    return answers;
  }
  return "";
}

std::string Message(const std::string& subject, const std::string& to) {
  return "From: Sender <sender@qvhost.example.test>\nTo: " + to + "\nSubject: " + subject +
         "\nMessage-ID: <" + subject + "@qvhost.example.test>\n\nthe body of " + subject + "\n";
}

// The init script of the super-server each layer installs.
const char* SuperServerScript(SuperServer server) {
  return server == SuperServer::kXinetd ? "xinetd" : "openbsd-inetd";
}

class StockDebianTest : public testing::TestWithParam<SuperServer> {
 protected:
  // False (the test skipped) when Debian's packages cannot be had.
  bool SetUpHost() {
    std::string err;
    if (!AddStockHostLayers(sandbox_, GetParam(), &err)) {
      skip_reason_ = err;
      return false;
    }
    // sendmail waits a minute for a host name that is not fully qualified;
    // a mail server has its own name in /etc/hosts.
    sandbox_.Seed("/etc/hosts", "127.0.0.1\tlocalhost\n127.0.1.1\tqvhost.example.test qvhost\n");
    sandbox_.SeedCopy(kMailClient, QV_SOURCE_DIR "/tests/mail_client.py");
    for (const char* name : {"local", "first", "second", "after-boot", "after-removal"}) {
      const std::string to = std::string(name).find("first") == 0 || std::string(name) == "second"
                                 ? "alice@example.test"
                                 : "root@qvhost.example.test";
      sandbox_.Seed(std::string(kWork) + "/" + name, Message(name, to));
    }
    sandbox_.Seed(std::string(kWork) + "/answers", ReadmeMailAnswers());
    return true;
  }

  Sandbox sandbox_;
  std::string skip_reason_;
};

// The lines between "== `from`" and the next "== " line of `output`, with
// every process id and the check's random user name made "N".
std::string Step(const std::string& output, const std::string& from) {
  const std::string head = "== " + from + "\n";
  size_t at = output.find(head);
  if (at == std::string::npos) return "";
  at += head.size();
  const std::string_view step(output.data() + at, output.find("\n== ", at) - at + 1);
  std::string made;
  for (size_t i = 0; i < step.size();) {
    made.push_back(step[i++]);
    for (std::string_view mark : {std::string_view("(pid "), std::string_view("qvcheck-")}) {
      if (made.size() < mark.size() ||
          made.compare(made.size() - mark.size(), mark.size(), mark.data(), mark.size()) != 0)
        continue;
      const size_t end = step.find_first_not_of("0123456789abcdef", i);
      i = end == std::string_view::npos ? step.size() : end;
      made.push_back('N');
    }
  }
  return made;
}

TEST_P(StockDebianTest, InstallsRunsComesBackAfterBootAndComesOffCleanly) {
  if (!SetUpHost()) GTEST_SKIP() << skip_reason_;
  ASSERT_EQ(ReadmeMailAnswers(), kDefaultMailAnswers);
  const std::string super = SuperServerScript(GetParam());
  const std::string w = std::string(kWork) + "/";
  const std::string send_local =
      "client send root@qvhost.example.test root@qvhost.example.test " + w;
  const std::string send_virtual = "client send sender@qvhost.example.test alice@example.test " + w;
  const std::string script =
      "client() { /usr/bin/python3 " + std::string(kMailClient) + " \"$@\"; }\n" +
      "step() { echo \"== $*\"; }\n"
      "for d in named sendmail " +
      super +
      "; do /etc/init.d/$d start >/dev/null 2>&1; done\n"
      "step install\n"
      "(cd " +
      DistDir() + " && ./qvinstall < " + w + "answers > " + w +
      "install.log 2>&1)\n"
      "echo \"install status $?\"\n"
      "/etc/init.d/named status\n"
      "quorvane domain add example.test >/dev/null\n"
      "printf 'Hello world!\\n' | quorvane user add alice@example.test\n"
      "step mail\n" +
      send_local +
      "local\n"
      "client wait " +
      kRootMailbox + " 1 30\n" + send_virtual +
      "first\n"
      "client wait " +
      kMailbox +
      " 1 30\n"
      "client fetch alice@example.test 'Hello world!' " +
      w +
      "fetched --delete\n"
      "client talk 'USER root' QUIT\n"
      "step check\n"
      "cp /etc/vmail/example.test " +
      w +
      "users\n"
      "quorvane check; echo \"check status $?\"\n"
      "cmp /etc/vmail/example.test " +
      w +
      "users && ls /var/spool/vmail/example.test\n"
      "step regeneration\n"
      "touch /etc/mail/sendmail.mc\n"
      "/etc/init.d/sendmail restart >/dev/null 2>&1\n"
      "grep -c -e '^### /etc/mail/sendmail.mc ###' -e '^Mvirtual,' /etc/mail/sendmail.cf\n" +
      send_virtual +
      "second\n"
      "client wait " +
      kMailbox +
      " 1 30\n"
      "step boot\n"
      "quorvane stop\n"
      "for d in " +
      super +
      " sendmail named; do /etc/init.d/$d stop >/dev/null 2>&1; done\n"
      "/etc/init.d/named status\n"
      "quorvane check; echo \"check status $?\"\n"
      "for link in /etc/rc2.d/S*; do\n"
      "  case ${link##*/} in\n"
      "    *named|*sendmail|*" +
      super +
      "|*quorvane) $link start >/dev/null 2>&1 ;;\n"
      "  esac\n"
      "done\n"
      "quorvane status\n"
      "/etc/init.d/named status\n"
      "quorvane check >/dev/null; echo \"check status $?\"\n" +
      send_local +
      "after-boot\n"
      "client wait " +
      kRootMailbox +
      " 2 30\n"
      "step removal\n"
      "echo y | " +
      InFolder("/bin/qvremove") +
      " >/dev/null\n"
      "echo \"remove status $?\"\n" +
      send_local +
      "after-removal\n"
      "client wait " +
      kRootMailbox +
      " 3 30\n"
      "find /etc -name '*quorvane*' | wc -l\n"
      "step end\n";
  // The daemons end with the sandbox's process namespace.
  RunOptions options;
  options.timeout_seconds = 300;
  RunResult run = sandbox_.Run({"/bin/sh", "-c", "{\n" + script + "\n} 2>&1"}, options);
  const std::string install_log = sandbox_.ReadAfter(w + "install.log").value_or("");
  SCOPED_TRACE(run.output + "\n--- the installer's output\n" + install_log);

  // Installed with status 0, without a failure line; named runs.
  EXPECT_EQ(Step(run.output, "install"),
            "install status 0\nbind is running.\nUser alice@example.test added\n");
  for (const char* failure : {"Can't", "Error", "aborted", "Illeagle"})
    EXPECT_EQ(install_log.find(failure), std::string::npos) << failure;
  EXPECT_NE(install_log.find("Checking sendmail configurationg file...\tOK\n"
                             "Checking sendmail process id file...\t\tOK\n"
                             "Success\nUpdating pop3 server...\nSuccess\n"),
            std::string::npos);
  // Local and virtual mail over SMTP; the virtual message back over POP3.
  EXPECT_EQ(Step(run.output, "mail"),
            "accepted local\nmessages 1\naccepted first\nmessages 1\n+OK POP3 server ready\n"
            "+OK alice@example.test has 1 messages\n+OK bye\nfetched 1\n"
            // Debian has no ipop3d: a login without a domain is told why not.
            "+OK POP3 server ready\n"
            "-ERR only virtual mailboxes are served here: log in as user@domain\n+OK bye\n");
  // The whole chain, leaving the user list and the spool as they were.
  EXPECT_EQ(Step(run.output, "check"),
            "Quorvane server answers on port 33333: OK\n"
            "sendmail accepts mail for qvcheck-N@example.test on localhost: OK\n"
            "vdeliver delivers it to /var/spool/vmail/example.test/qvcheck-N: OK\n"
            "POP3 on localhost returns it through the super-server and vpop3d: OK\n"
            "sendmail accepts local mail for root on localhost: OK\n"
            "Quorvane server works.\ncheck status 0\nalice\n");
  // The host's Makefile made sendmail.cf again from sendmail.mc (it adds a
  // copy of the .mc); the hook came with it and virtual mail still arrives.
  EXPECT_EQ(Step(run.output, "regeneration"), "2\naccepted second\nmessages 1\n");
  // Everything stopped (the check names the first broken link), then
  // started by the boot registration.
  EXPECT_EQ(Step(run.output, "boot"),
            "Quorvane server stopped\nbind is not running ... failed!\n"
            "Quorvane server answers on port 33333: FAILED (port 33333: Connection refused)\n"
            "sendmail accepts mail for a virtual domain on localhost: FAILED (port 25: "
            "Connection refused)\n"
            "vdeliver delivers it: not checked\n"
            "POP3 on localhost returns it through the super-server and vpop3d: not checked\n"
            "sendmail accepts local mail for root on localhost: FAILED (port 25: Connection "
            "refused)\n"
            "The first broken link: Quorvane server answers on port 33333\ncheck status 1\n"
            "Quorvane server is running (pid N)\nbind is running.\ncheck status 0\n"
            "accepted after-boot\nmessages 2\n");
  // Removed: local mail flows, no registration is left, Debian's files are back.
  EXPECT_EQ(Step(run.output, "removal"),
            "remove status 0\naccepted after-removal\nmessages 3\n0\n");
  EXPECT_EQ(sandbox_.ReadAfter("/etc/mail/sendmail.mc"),
            sandbox_.ReadBefore("/etc/mail/sendmail.mc"));
  const std::string cf = sandbox_.ReadAfter("/etc/mail/sendmail.cf").value_or("");
  if (cf != sandbox_.ReadBefore("/etc/mail/sendmail.cf")) {
    for (const char* trace : {"Quorvane", "vdeliver", "VirtualDomains", "Mvirtual"})
      EXPECT_EQ(cf.find(trace), std::string::npos) << trace;
  }
  EXPECT_FALSE(sandbox_.StatAfter("/etc/xinetd.d/ipop3"));
  EXPECT_EQ(sandbox_.ReadAfter("/etc/inetd.conf"), sandbox_.ReadBefore("/etc/inetd.conf"));
}

INSTANTIATE_TEST_SUITE_P(SuperServers, StockDebianTest,
                         testing::Values(SuperServer::kXinetd, SuperServer::kInetd),
                         [](const testing::TestParamInfo<SuperServer>& info) {
                           return info.param == SuperServer::kXinetd ? "Xinetd" : "Inetd";
                         });

}  // namespace
