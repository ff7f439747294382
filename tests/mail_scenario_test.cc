// The mail part through the real installer, and the packaged sendmail
// template checked against a real sendmail, all in the sandbox.

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "sandbox/sandbox.h"
#include "tests/default_conf.h"
#include "tests/installer_run.h"
#include "tests/mail_daemons.h"
#include "tests/transcript.h"

namespace {

constexpr char kMailGroupQuestion[] = "Do you want to create it? (Y/N): ";
constexpr char kCfConfirm[] = "Is this the correct path of sendmail.cf file? ( Y/N ): ";
constexpr char kCfQuestion[] = "Enter full path of sendmail.cf file: ";
constexpr char kPidLineOk[] = "Checking sendmail process id file...\t\tOK";
constexpr char kCfChecking[] = "Checking sendmail configurationg file...";
constexpr char kLinuxconf[] = "/etc/conf.linuxconf";

// What the installer writes for the default folder in the sandbox, kept
// by hand beside the tests: the packaged template without its empty lines,
// with the folder and the sandbox's host name filled in.
std::string InstalledSendmailCf() {
  std::ifstream in(QV_SOURCE_DIR "/tests/expected/sendmail.cf");
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string TranscriptAfterSendmail(const char* super_server) {
  return Line("Success") + Line("Updating pop3 server...") + Line("Success") +
         RunEnding(/*started=*/false, super_server);
}

// The sendmail stage's answers go between the DNS stage's and the address.
RunResult RunMail(Sandbox& sandbox, const std::string& sendmail_answers = "") {
  return RunInstaller(
      sandbox, AnswersUpToAddress(MailPart::kGroupPresent) + sendmail_answers + kAddress + "n\n");
}

constexpr char kInstalledXinetdEntry[] =
    "# default: off\n"
    "# description: The POP3 service allows remote users to access their mail \\\n"
    "#              using an POP3 client such as Netscape Communicator, mutt, \\\n"
    "#              or fetchmail.\n"
    "service pop3\n"
    "{\n"
    "\tsocket_type\t\t= stream\n"
    "\twait\t\t\t= no\n"
    "\tuser\t\t\t= root\n"
    "\tserver\t\t\t\t= /usr/local/quorvane/bin/vpop3d\n"
    "\tserver_args\t\t\t= /usr/sbin/ipop3d\n"
    "\tper_source\t\t= 4\n"
    "\tlog_on_success\t\t+= USERID\n"
    "\tlog_on_failure\t\t+= USERID\n"
    "\tdisable\t\t= no\n"
    "}\n";

TEST(MailScenarioTest, ViaXinetdWithGroupsPresent) {
  Sandbox sandbox;
  SeedMailHostWithGroups(sandbox);
  const std::string old_cf = *sandbox.ReadAfter("/etc/sendmail.cf");
  const std::string old_entry = *sandbox.ReadAfter("/etc/xinetd.d/ipop3");
  const std::string linuxconf = *sandbox.ReadAfter(kLinuxconf);
  RunResult run = RunMail(sandbox);

  EXPECT_TRUE(SameTranscript(
      UpToSendmail(MailPart::kGroupPresent) + SendmailChecks() + TranscriptAfterSendmail("xinetd"),
      run.output));
  EXPECT_EQ(run.exit_status, 0);

  EXPECT_EQ(sandbox.ReadAfter("/etc/sendmail.cf"), InstalledSendmailCf());
  EXPECT_EQ(ModeAfter(sandbox, "/etc/sendmail.cf"), 0644u);
  EXPECT_EQ(sandbox.ReadAfter("/etc/sendmail.cf.qvbackup"), old_cf);
  EXPECT_EQ(sandbox.ReadAfter("/etc/xinetd.d/ipop3"), kInstalledXinetdEntry);
  EXPECT_EQ(ModeAfter(sandbox, "/etc/xinetd.d/ipop3"), NewFileMode());
  EXPECT_EQ(sandbox.ReadAfter("/etc/xinetd.d/ipop3.qvbackup"), old_entry);
  EXPECT_EQ(sandbox.ReadAfter(kLinuxconf), linuxconf);
  EXPECT_EQ(sandbox.ReadAfter("/etc/conf.linuxconf.qvbackup"), linuxconf);
  EXPECT_FALSE(sandbox.StatAfter("/etc/inetd.conf"));

  for (const char* path : {"/etc/sendmail.cf.qvbackup", "/etc/xinetd.d/ipop3.qvbackup",
                           "/etc/conf.linuxconf.qvbackup"})
    EXPECT_TRUE(Contains(run.changes.created, path)) << path;
  for (const char* path : {"/etc/sendmail.cf", "/etc/xinetd.d/ipop3"})
    EXPECT_TRUE(Contains(run.changes.changed, path)) << path;
  EXPECT_FALSE(Contains(run.changes.changed, kLinuxconf));
  for (const std::string& path : run.changes.created)  // no temporary file is left
    EXPECT_EQ(path.find(".qvnew."), std::string::npos) << path;
  EXPECT_EQ(sandbox.ReadAfter(kInitLog),
            "named restart\nsendmail restart\nsendmail restart\nxinetd restart\n");

  auto conf = sandbox.ReadAfter("/etc/Quorvane.conf");
  ASSERT_TRUE(conf);
  EXPECT_EQ(*conf, DefaultConfText("/var/run/sendmail.pid"));
  EXPECT_EQ(conf->size(), 309u);
}

TEST(MailScenarioTest, ViaInetdWhenXinetdHasNoEntry) {
  Sandbox sandbox;
  SeedMailHostWithGroups(sandbox);
  sandbox.SeedRemoved("/etc/xinetd.d/ipop3");
  const std::string old_conf =
      "# /etc/inetd.conf\n"
      "ftp\tstream\ttcp\tnowait\troot\t/usr/sbin/tcpd\tin.ftpd -l -a\n"
      "#pop-3\tstream\ttcp\tnowait\troot\t/usr/sbin/tcpd\tipop3d\n"
      "imap\tstream\ttcp\tnowait\troot\t/usr/sbin/tcpd\timapd";  // no final line feed
  sandbox.Seed("/etc/inetd.conf", old_conf, 0600);
  RunResult run = RunMail(sandbox);

  EXPECT_TRUE(SameTranscript(
      UpToSendmail(MailPart::kGroupPresent) + SendmailChecks() + TranscriptAfterSendmail("inet"),
      run.output));
  EXPECT_EQ(run.exit_status, 0);
  EXPECT_EQ(sandbox.ReadAfter("/etc/inetd.conf"),
            "# /etc/inetd.conf\n"
            "ftp\tstream\ttcp\tnowait\troot\t/usr/sbin/tcpd\tin.ftpd -l -a\n"
            "pop-3\tstream\ttcp\tnowait\troot\t/usr/sbin/tcpd\t/usr/local/quorvane/bin/vpop3d\t"
            "ipop3d\n"
            "imap\tstream\ttcp\tnowait\troot\t/usr/sbin/tcpd\timapd\n");
  EXPECT_EQ(ModeAfter(sandbox, "/etc/inetd.conf"), NewFileMode());
  EXPECT_EQ(sandbox.ReadAfter("/etc/inetd.conf.qvbackup"), old_conf);
  EXPECT_EQ(ModeAfter(sandbox, "/etc/inetd.conf.qvbackup"), 0600u);
  EXPECT_FALSE(sandbox.StatAfter("/etc/xinetd.d/ipop3"));
  EXPECT_FALSE(sandbox.StatAfter("/etc/xinetd.d/ipop3.qvbackup"));
  for (const std::string& path : run.changes.created)
    EXPECT_NE(path.rfind("/etc/xinetd.d/", 0), 0u) << path;
  EXPECT_EQ(sandbox.ReadAfter(kInitLog),
            "named restart\nsendmail restart\nsendmail restart\ninet restart\n");
}

TEST(MailScenarioTest, NoSuperServerEntryRollsTheMailFilesBack) {
  Sandbox sandbox;
  SeedMailHostWithGroups(sandbox);
  sandbox.SeedRemoved("/etc/xinetd.d/ipop3");
  const std::string old_cf = *sandbox.ReadAfter("/etc/sendmail.cf");
  const std::string named_conf = *sandbox.ReadAfter("/etc/named.conf");
  RunResult run = RunMail(sandbox);

  EXPECT_TRUE(
      SameTranscript(UpToSendmail(MailPart::kGroupPresent) + SendmailChecks() + Line("Success") +
                         Line("Updating pop3 server...") +
                         Abort("Error while updating pop3 server", "No such file or directory"),
                     run.output));
  EXPECT_EQ(run.exit_status, 1);
  EXPECT_EQ(sandbox.ReadAfter("/etc/sendmail.cf"), old_cf);
  EXPECT_FALSE(sandbox.StatAfter("/etc/sendmail.cf.qvbackup"));
  EXPECT_FALSE(sandbox.StatAfter("/etc/conf.linuxconf.qvbackup"));
  EXPECT_EQ(sandbox.ReadAfter("/etc/named.conf"), named_conf);
  EXPECT_FALSE(sandbox.StatAfter("/etc/inetd.conf"));
}

// A host without the group mail.
void SeedMailHostWithoutMailGroup(Sandbox& sandbox) {
  SeedMailHostWithGroups(sandbox);
  SeedWithoutMailGroup(sandbox);
}

std::string MissingGroupQuestion() {
  return Line("mail group does not exist") + kMailGroupQuestion + Line("");
}

TEST(MailScenarioTest, MailGroupIsCreatedAfterAnOtherAnswerAndYes) {
  Sandbox sandbox;
  SeedMailHostWithoutMailGroup(sandbox);
  RunResult run = RunMail(sandbox, "x\ny\n");

  EXPECT_TRUE(SameTranscript(UpToSendmail(MailPart::kGroupPresent) + "Checking mail group..." +
                                 MissingGroupQuestion() + MissingGroupQuestion() + Line("\tOK") +
                                 Line(std::string(kCfChecking) + "\tOK") + Line(kPidLineOk) +
                                 TranscriptAfterSendmail("xinetd"),
                             run.output));
  EXPECT_EQ(run.exit_status, 0);
  auto group = sandbox.ReadAfter("/etc/group");
  ASSERT_TRUE(group);
  EXPECT_NE(group->find("\nmail:"), std::string::npos);
  EXPECT_EQ(sandbox.ReadAfter("/etc/sendmail.cf"), InstalledSendmailCf());
}

TEST(MailScenarioTest, RefusedMailGroupAbortsAndRollsBackAtStageOne) {
  Sandbox sandbox;
  SeedMailHostWithoutMailGroup(sandbox);
  const std::string old_cf = *sandbox.ReadAfter("/etc/sendmail.cf");
  const std::string named_conf = *sandbox.ReadAfter("/etc/named.conf");
  RunResult run = RunMail(sandbox, "n\n");

  EXPECT_TRUE(SameTranscript(UpToSendmail(MailPart::kGroupPresent) + "Checking mail group..." +
                                 MissingGroupQuestion() + Line("Create a mail group first") +
                                 Abort("Error while updating sendmail", ""),
                             run.output));
  EXPECT_EQ(run.exit_status, 1);
  EXPECT_EQ(sandbox.ReadAfter("/etc/group")->find("\nmail:"), std::string::npos);
  EXPECT_EQ(sandbox.ReadAfter("/etc/sendmail.cf"), old_cf);
  EXPECT_FALSE(sandbox.StatAfter("/etc/sendmail.cf.qvbackup"));
  EXPECT_FALSE(sandbox.StatAfter("/etc/xinetd.d/ipop3.qvbackup"));
  EXPECT_FALSE(sandbox.StatAfter("/etc/conf.linuxconf.qvbackup"));
  // Stage 1 puts named.conf back from this run's backup.
  EXPECT_EQ(sandbox.ReadAfter("/etc/named.conf"), named_conf);
  EXPECT_FALSE(sandbox.StatAfter("/etc/named.conf.qvbackup"));
  EXPECT_EQ(sandbox.ReadAfter(kInitLog), "named restart\nsendmail restart\n");
}

TEST(MailScenarioTest, EndOfInputAtTheGroupQuestionFailsTheStage) {
  Sandbox sandbox;
  SeedMailHostWithoutMailGroup(sandbox);
  RunResult run = RunInstaller(sandbox, AnswersUpToAddress(MailPart::kGroupPresent));
  EXPECT_TRUE(SameTranscript(UpToSendmail(MailPart::kGroupPresent) + "Checking mail group..." +
                                 MissingGroupQuestion() +
                                 Abort("Error while updating sendmail", ""),
                             run.output));
  EXPECT_EQ(run.exit_status, 1);
}

TEST(MailScenarioTest, MissingSendmailCfConfirmedIsCreatedWithoutBackup) {
  Sandbox sandbox;
  SeedMailHostWithGroups(sandbox);
  sandbox.SeedRemoved("/etc/sendmail.cf");
  RunResult run = RunMail(sandbox, "y\n");

  EXPECT_TRUE(SameTranscript(UpToSendmail(MailPart::kGroupPresent) +
                                 Line("Checking mail group...\tOK") + kCfChecking +
                                 Line("/etc/sendmail.cf") + kCfConfirm + Line(kPidLineOk) +
                                 TranscriptAfterSendmail("xinetd"),
                             run.output));
  EXPECT_EQ(run.exit_status, 0);
  EXPECT_EQ(sandbox.ReadAfter("/etc/sendmail.cf"), InstalledSendmailCf());
  EXPECT_EQ(ModeAfter(sandbox, "/etc/sendmail.cf"), 0644u);
  EXPECT_FALSE(sandbox.StatAfter("/etc/sendmail.cf.qvbackup"));
  EXPECT_TRUE(Contains(run.changes.created, "/etc/sendmail.cf"));
}

TEST(MailScenarioTest, MissingSendmailCfReplacedByAnotherPath) {
  Sandbox sandbox;
  SeedMailHostWithGroups(sandbox);
  const std::string old_cf = *sandbox.ReadAfter("/etc/sendmail.cf");
  sandbox.SeedRemoved("/etc/sendmail.cf");
  sandbox.Seed("/etc/mail/sendmail.cf", old_cf, 0600);
  RunResult run = RunMail(sandbox, "n\n/etc/mail/sendmail.cf\n");

  EXPECT_TRUE(
      SameTranscript(UpToSendmail(MailPart::kGroupPresent) + Line("Checking mail group...\tOK") +
                         kCfChecking + Line("/etc/sendmail.cf") + kCfConfirm + "\n" + kCfQuestion +
                         Line("\tOK") + Line(kPidLineOk) + TranscriptAfterSendmail("xinetd"),
                     run.output));
  EXPECT_EQ(run.exit_status, 0);
  EXPECT_EQ(sandbox.ReadAfter("/etc/mail/sendmail.cf"), InstalledSendmailCf());
  EXPECT_EQ(sandbox.ReadAfter("/etc/mail/sendmail.cf.qvbackup"), old_cf);
  EXPECT_EQ(ModeAfter(sandbox, "/etc/mail/sendmail.cf.qvbackup"), 0600u);
  EXPECT_FALSE(sandbox.StatAfter("/etc/sendmail.cf"));
}

TEST(MailScenarioTest, ConfirmedPathInAMissingFolderFailsTheStage) {
  Sandbox sandbox;
  SeedMailHostWithGroups(sandbox);
  sandbox.SeedRemoved("/etc/sendmail.cf");
  RunResult run = RunMail(sandbox, "n\n/etc/nomail/sendmail.cf\ny\n");

  EXPECT_TRUE(SameTranscript(
      UpToSendmail(MailPart::kGroupPresent) + Line("Checking mail group...\tOK") + kCfChecking +
          Line("/etc/sendmail.cf") + kCfConfirm + "\n" + kCfQuestion +
          Line("/etc/nomail/sendmail.cf") + kCfConfirm + Line(kPidLineOk) +
          Line("can't create a temporary file for /etc/nomail/sendmail.cf: No such file or "
               "directory") +
          Abort("Error while updating sendmail", ""),
      run.output));
  EXPECT_EQ(run.exit_status, 1);
  EXPECT_FALSE(sandbox.StatAfter("/etc/nomail"));
  EXPECT_FALSE(sandbox.StatAfter("/etc/sendmail.cf"));
}

TEST(MailScenarioTest, OlderBackupsAreKeptUnderANumberBesideTheFilesAsTheyStood) {
  Sandbox sandbox;
  SeedMailHostWithGroups(sandbox);
  const std::string old_cf = *sandbox.ReadAfter("/etc/sendmail.cf");
  const std::string old_entry = *sandbox.ReadAfter("/etc/xinetd.d/ipop3");
  sandbox.Seed("/etc/sendmail.cf.qvbackup", "an older backup\n");
  sandbox.Seed("/etc/xinetd.d/ipop3.qvbackup", "an older entry\n");
  RunResult run = RunMail(sandbox);

  EXPECT_EQ(run.exit_status, 0) << run.output;
  EXPECT_EQ(sandbox.ReadAfter("/etc/sendmail.cf.qvbackup"), old_cf);
  EXPECT_EQ(sandbox.ReadAfter("/etc/xinetd.d/ipop3.qvbackup"), old_entry);
  EXPECT_EQ(sandbox.ReadAfter("/etc/sendmail.cf.qvbackup.1"), "an older backup\n");
  EXPECT_EQ(sandbox.ReadAfter("/etc/xinetd.d/ipop3.qvbackup.1"), "an older entry\n");
  EXPECT_EQ(sandbox.ReadAfter("/etc/sendmail.cf"), InstalledSendmailCf());
}

TEST(MailScenarioTest, MissingLinuxconfIsCreatedEmptyWithoutBackup) {
  Sandbox sandbox;
  SeedMailHostWithGroups(sandbox);
  sandbox.SeedRemoved(kLinuxconf);
  RunResult run = RunMail(sandbox);

  EXPECT_EQ(run.exit_status, 0) << run.output;
  EXPECT_EQ(sandbox.ReadAfter(kLinuxconf), "");
  EXPECT_EQ(ModeAfter(sandbox, kLinuxconf), NewFileMode());
  EXPECT_FALSE(sandbox.StatAfter("/etc/conf.linuxconf.qvbackup"));
}

// The packaged template in a real sendmail (Debian's 8.17), installed into
// a sandbox layer.
class RealSendmailTest : public testing::Test {
 protected:
  static constexpr char kCf[] = "/etc/qvtest/sendmail.cf";

  void SetUp() override {
    std::string err;
    if (!AddMailDaemonLayer(sandbox_, SuperServer::kXinetd, &err))
      GTEST_SKIP() << "no sendmail to check the template with: " << err;
    // sendmail waits a minute for a host name that is not fully qualified.
    sandbox_.Seed("/etc/hosts", "127.0.0.1\tlocalhost\n127.0.1.1\tqvhost.example.test qvhost\n");
  }

  void SeedTemplateAndDomains() {
    sandbox_.Seed(kCf, InstalledSendmailCf());
    sandbox_.Seed(InFolder("/etc/VirtualDomains"),
                  "#virtual email domains\nvirtual.test\nmail.other.test\n");
  }

  // sendmail with `cf`, its standard error included.
  std::string Sendmail(const std::string& cf, const std::string& arguments,
                       const std::string& input = "") {
    RunOptions options;
    options.stdin_text = input;
    options.timeout_seconds = 120;
    RunResult run =
        sandbox_.Run({"/bin/sh", "-c", "sendmail -C " + cf + " " + arguments + " 2>&1"}, options);
    EXPECT_EQ(run.exit_status, 0) << arguments << "\n" << run.output;
    return run.output;
  }

  Sandbox sandbox_;
};

TEST_F(RealSendmailTest, TemplateLoadsWithOnlyTheVersionWarning) {
  SeedTemplateAndDomains();
  const std::string output = Sendmail(kCf, "-bt", "");
  const std::string first_line = output.substr(0, output.find('\n'));
  EXPECT_NE(first_line.find("Warning: .cf file is out of date"), std::string::npos) << output;
  EXPECT_NE(first_line.find(".cf file is version 8"), std::string::npos) << output;
  EXPECT_EQ(output.substr(first_line.size() + 1),
            "ADDRESS TEST MODE (ruleset 3 NOT automatically invoked)\n"
            "Enter <ruleset> <address>\n"
            "> ");
}

// Without the mailer flag u, the user part reaches the mailer in lower case.
TEST_F(RealSendmailTest, VirtualDomainsGoToTheVirtualMailer) {
  SeedTemplateAndDomains();
  EXPECT_EQ(Sendmail(kCf, "-bv user@virtual.test"),
            "user@virtual.test... deliverable: mailer virtual, host virtual.test, user user\n");
  EXPECT_EQ(Sendmail(kCf, "-bv '<Joe.Bloggs@Mail.Other.Test.>'"),
            "<Joe.Bloggs@Mail.Other.Test.>... deliverable: mailer virtual, host Mail.Other.Test, "
            "user joe.bloggs\n");
  const std::string trace = Sendmail(kCf, "-bt", "3,0 user@virtual.test\n");
  EXPECT_NE(trace.find("returns: $# virtual $@ virtual . test $: user\n"), std::string::npos)
      << trace;
}

TEST_F(RealSendmailTest, OtherAddressesKeepTheirUsualRoutes) {
  SeedTemplateAndDomains();
  EXPECT_EQ(Sendmail(kCf, "-bv root"), "root... deliverable: mailer local, user root\n");
  EXPECT_EQ(Sendmail(kCf, "-bv root@qvhost.example.test"),
            "root@qvhost.example.test... deliverable: mailer local, user root\n");
  EXPECT_EQ(Sendmail(kCf, "-bv someone@elsewhere.test"),
            "someone@elsewhere.test... deliverable: mailer smtp, host elsewhere.test, user "
            "someone@elsewhere.test\n");
}

TEST_F(RealSendmailTest, RelayingIsRefusedToStrangersButVirtualDomainsAreAccepted) {
  SeedTemplateAndDomains();
  const std::string refused = "returns: $# error $@ 5 . 7 . 1 $: \"550 Relaying denied\"\n";
  auto check = [&](const std::string& client, const std::string& address) {
    return Sendmail(kCf, "-bt", ".D{client_addr}" + client + "\ncheck_rcpt " + address + "\n");
  };
  EXPECT_EQ(check("192.0.2.7", "user@virtual.test").find(refused), std::string::npos);
  EXPECT_EQ(check("192.0.2.7", "<user@Mail.Other.Test>").find(refused), std::string::npos);
  EXPECT_EQ(check("192.0.2.7", "root@qvhost.example.test").find(refused), std::string::npos);
  EXPECT_NE(check("192.0.2.7", "someone@elsewhere.test").find(refused), std::string::npos);
  EXPECT_NE(check("192.0.2.7", "someone%elsewhere.test@virtual.test").find(refused),
            std::string::npos);
  EXPECT_EQ(check("127.0.0.1", "someone@elsewhere.test").find(refused), std::string::npos);
}

TEST_F(RealSendmailTest, DeliveryHandsUserAndDomainToTheDeliveryProgram) {
  SeedTemplateAndDomains();
  sandbox_.Seed(InFolder("/bin/vdeliver"),
                "#!/bin/sh\n{ echo \"args: $*\"; cat; } >> /tmp/vdeliver.out\n", 0755);
  // Debian's queue belongs to smmta: the template is loaded with the
  // TrustedUser the installer carries over from the host's own file.
  Sendmail(kCf, "-OTrustedUser=smmta -odi -oi -f root Joe@virtual.test",
           "Subject: hello\n\nbody line\n");
  auto delivered = sandbox_.ReadAfter("/tmp/vdeliver.out");
  ASSERT_TRUE(delivered);
  EXPECT_EQ(delivered->rfind("args: joe virtual.test\nFrom root@qvhost.example.test ", 0), 0u)
      << *delivered;
  EXPECT_NE(delivered->find("\nSubject: hello\n\nbody line\n"), std::string::npos) << *delivered;
}

// The whole mail part installed by the installer, then used by sendmail.
TEST_F(RealSendmailTest, InstalledConfigurationRoutesTheListedDomains) {
  SeedMailHostWithGroups(sandbox_);
  RunResult run = RunMail(sandbox_);
  ASSERT_EQ(run.exit_status, 0) << run.output;
  const std::string domains = InFolder("/etc/VirtualDomains");
  RunResult add = sandbox_.Run({"/bin/sh", "-c", "echo virtual.test >> " + domains});
  ASSERT_EQ(add.exit_status, 0);
  EXPECT_EQ(Sendmail("/etc/sendmail.cf", "-bv user@virtual.test"),
            "user@virtual.test... deliverable: mailer virtual, host virtual.test, user user\n");
}

}  // namespace
