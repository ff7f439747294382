// The mail path end to end with real daemons in the sandbox: the installer
// hooks the package into Debian's sendmail and xinetd or openbsd-inetd,
// then real clients send mail over SMTP and fetch it over POP3.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/installer_run.h"
#include "tests/mail_daemons.h"
#include "sandbox/sandbox.h"

namespace {

constexpr char kDomain[] = "example.test";
constexpr char kMailbox[] = "/var/spool/vmail/example.test/alice";
constexpr char kWork[] = "/var/tmp/qvtest";
// The published SHA-crypt test vector: the password "Hello world!".
constexpr char kUserList[] =
    "alice:$6$saltstring$svn8UoSVapNtMuq1ukKS4tPQd8iKwSMHWjl/O817G3uBnIFNjnQJuesI68u4OTLiBFdcbYE"
    "dFCoEOfaS35inz1\n";
constexpr char kPassword[] = "'Hello world!'";

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

class MailDeliveryTest : public testing::Test {
 protected:
  // A mail host with the real daemons; false (the test skipped) when the
  // packages cannot be had.
  bool SetUpHost(SuperServer server) {
    std::string err;
    if (!AddMailDaemonLayer(sandbox_, server, &err)) {
      skip_reason_ = err;
      return false;
    }
    SeedMailHost(sandbox_);
    SeedPopusersGroup(sandbox_);
    SeedMailDaemons(sandbox_);
    if (server == SuperServer::kInetd) {
      sandbox_.SeedRemoved("/etc/xinetd.d/ipop3");
      sandbox_.Seed("/etc/inetd.conf",
                    "#pop-3\tstream\ttcp\tnowait\troot\t/usr/sbin/tcpd\tipop3d\n");
    }
    sandbox_.Seed(std::string(kWork) + "/users", kUserList, 0600);
    return true;
  }

  void SeedMessage(const std::string& name, const std::string& text) {
    sandbox_.Seed(std::string(kWork) + "/" + name, text);
  }

  // Installs with the mail part; then lists the domain and its user.
  void Install() {
    RunResult run =
        RunInstaller(sandbox_, AnswersUpToAddress(MailPart::kGroupPresent) + kAddress + "n\n");
    ASSERT_EQ(run.exit_status, 0) << run.output;
  }

  // A script that lists the domain and its user, restarts the daemons as
  // an administrator would after that, then runs `steps`.
  RunResult RunClients(const std::string& super_server, const std::string& steps) {
    const std::string script =
        "set -e\n"
        "echo " +
        std::string(kDomain) + " >> " + InFolder("/etc/VirtualDomains") + "\n" +
        "install -m 0640 " + kWork + "/users /etc/vmail/" + kDomain + "\n" +
        "/etc/rc.d/init.d/sendmail restart\n"
        "/etc/rc.d/init.d/" +
        super_server +
        " restart\n"
        "client() { /usr/bin/python3 " +
        kMailClient + " \"$@\"; }\n" + steps;
    RunResult run = RunWithDaemons(sandbox_, script);
    EXPECT_EQ(run.exit_status, 0) << run.output << Logs();
    return run;
  }

  std::string Logs() {
    std::string logs;
    for (const char* log : {"/var/log/qvtest-sendmail.log", "/var/log/qvtest-xinetd.log",
                            "/var/log/qvtest-inet.log", kInitLog}) {
      logs += std::string("\n--- ") + log + "\n" + sandbox_.ReadAfter(log).value_or("(none)");
    }
    return logs;
  }

  Sandbox sandbox_;
  std::string skip_reason_;
};

TEST_F(MailDeliveryTest, SmtpInPop3OutThroughXinetd) {
  if (!SetUpHost(SuperServer::kXinetd)) GTEST_SKIP() << skip_reason_;
  const std::string message = Message("first", "alice@example.test");
  SeedMessage("first", message);
  Install();
  RunResult run = RunClients(
      "xinetd", std::string("client send sender@qvhost.example.test alice@example.test ") + kWork +
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
  EXPECT_NE(run.output.find("+OK bye\nfetched 1\nmessages 0\n"), std::string::npos) << run.output;

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

}  // namespace
