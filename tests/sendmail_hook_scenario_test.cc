// The sendmail stage's safety: the host's sendmail loads the new file
// before it goes live, and a failure later in the run puts back both files
// of a host that makes sendmail.cf from sendmail.mc.

#include <gtest/gtest.h>

#include <string>

#include "sandbox/sandbox.h"
#include "tests/installer_run.h"
#include "tests/mail_daemons.h"
#include "tests/transcript.h"

namespace {

// A host's sendmail that answers the routing questions as `answers` say.
std::string SendmailAnswering(const std::string& answers) {
  return "#!/bin/sh\ncat > /dev/null\nprintf '%s' " + ShellWord(answers) + "\n";
}

TEST(SendmailHookScenarioTest, AFileTheHostsSendmailCannotUseFailsTheStage) {
  const struct {
    const char* name;
    std::string answers, why;
  } cases[] = {
      {"a line it refuses",
       "/etc/sendmail.cf: line 3: unknown configuration line \"Zq\"\n"
       "mailer virtual, host qvinstall.invalid, user qvinstall\nmailer local, user root\n",
       "/etc/sendmail.cf: line 3: unknown configuration line \"Zq\""},
      {"local mail sent elsewhere",
       "mailer virtual, host qvinstall.invalid, user qvinstall\n"
       "mailer esmtp, host relay.example.test, user root\n",
       "mail for a local user does not go to the local mailer"},
      {"virtual mail sent elsewhere", "mailer local, user qvinstall\nmailer local, user root\n",
       "mail for a virtual domain does not go to vdeliver"},
  };
  for (const auto& c : cases) {
    Sandbox sandbox;
    SeedMailHostWithGroups(sandbox);
    sandbox.Seed("/usr/sbin/sendmail", SendmailAnswering(c.answers), 0755);
    const std::string old_cf = *sandbox.ReadAfter("/etc/sendmail.cf");
    RunResult run = RunInstaller(sandbox, AnswersUpToAddress(MailPart::kGroupPresent) + kAddress);

    EXPECT_TRUE(SameTranscript(UpToSendmail(MailPart::kGroupPresent) + SendmailChecks() +
                                   Line("sendmail can't use the new /etc/sendmail.cf: " + c.why) +
                                   Abort("Error while updating sendmail", ""),
                               run.output))
        << c.name;
    EXPECT_EQ(run.exit_status, 1) << c.name;
    EXPECT_EQ(sandbox.ReadAfter("/etc/sendmail.cf"), old_cf) << c.name;
    // No copy under test, no backup is left.
    for (const std::string& path : run.changes.created)
      EXPECT_EQ(path.find(".qv"), std::string::npos) << c.name << ": " << path;
  }
}

// A failure at the address question, after the sendmail stage hooked
// Debian's sendmail through sendmail.mc: both files come back as they were.
TEST(SendmailHookScenarioTest, RollbackPutsBackTheMcAndTheCfOfAStockHost) {
  Sandbox sandbox;
  std::string err;
  if (!AddStockHostLayers(sandbox, SuperServer::kXinetd, &err)) GTEST_SKIP() << err;
  sandbox.Seed("/etc/hosts", "127.0.0.1\tlocalhost\n127.0.1.1\tqvhost.example.test qvhost\n");
  RunResult run = RunInstaller(sandbox, AnswersUpToAddress(MailPart::kCreatingGroup));

  EXPECT_EQ(run.exit_status, 1) << run.output;
  EXPECT_NE(run.output.find("Updating sendmail...\nChecking mail group...\tOK\n"
                            "Checking sendmail configurationg file...\tOK\n"
                            "Checking sendmail process id file...\t\tOK\nSuccess\n"),
            std::string::npos)
      << run.output;
  EXPECT_TRUE(
      run.output.ends_with(Abort("Error while creating required folders", "No data available")))
      << run.output;
  for (const char* path : {"/etc/mail/sendmail.mc", "/etc/mail/sendmail.cf"}) {
    EXPECT_EQ(sandbox.ReadAfter(path), sandbox.ReadBefore(path)) << path;
    EXPECT_FALSE(sandbox.StatAfter(std::string(path) + ".qvbackup")) << path;
  }
  EXPECT_FALSE(sandbox.StatAfter("/etc/xinetd.d/ipop3"));
  for (const std::string& path : run.changes.created)
    EXPECT_EQ(path.find(".qv"), std::string::npos) << path;
}

}  // namespace
