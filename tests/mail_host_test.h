#pragma once

// A mail host with Debian's sendmail and a super-server running for real
// in a sandbox, the installer's mail part on it, and one virtual user:
// what the end-to-end mail tests share.

#include <gtest/gtest.h>

#include <string>

#include "sandbox/sandbox.h"
#include "tests/installer_run.h"
#include "tests/mail_daemons.h"

inline constexpr char kDomain[] = "example.test";
inline constexpr char kMailbox[] = "/var/spool/vmail/example.test/alice";
inline constexpr char kWork[] = "/var/tmp/qvtest";
// The published SHA-crypt test vector: the password "Hello world!".
inline constexpr char kUserList[] =
    "alice:$6$saltstring$svn8UoSVapNtMuq1ukKS4tPQd8iKwSMHWjl/O817G3uBnIFNjnQJuesI68u4OTLiBFdcbYE"
    "dFCoEOfaS35inz1\n";
inline constexpr char kPassword[] = "'Hello world!'";

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
    SeedMailHostWithGroups(sandbox_);
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
    RunResult run = RunInstallerWithDaemons(
        sandbox_, AnswersUpToAddress(MailPart::kGroupPresent) + kAddress + "n\n");
    ASSERT_EQ(run.exit_status, 0) << run.output;
  }

  // A script that lists the domain and its user, restarts the daemons as
  // an administrator would after that, then runs `steps`.
  RunResult RunClients(const std::string& super_server, const std::string& steps,
                       int timeout_seconds = 90) {
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
    RunResult run = RunWithDaemons(sandbox_, script, timeout_seconds);
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
