#include "mail/sendmail_check.h"

#include <gtest/gtest.h>

namespace {

TEST(SendmailCheckTest, TheTestCopyDefinesTheTestDomainInPlaceOfTheList) {
  EXPECT_EQ(CopyForTheTest("V8/Berkeley\n"
                           "FA/usr/local/quorvane/etc/VirtualDomains\n"
                           "FA/usr/local/quorvane/etc/VirtualDomains.old\n"
                           "Fw-o /etc/mail/local-host-names\n",
                           "/usr/local/quorvane/etc/VirtualDomains"),
            "V8/Berkeley\n"
            "CA qvinstall.invalid\n"
            "FA/usr/local/quorvane/etc/VirtualDomains.old\n"
            "Fw-o /etc/mail/local-host-names\n");
}

// sendmail's answers in address test mode, as Debian's 8.17 gives them.
TEST(SendmailCheckTest, TellsWhyTheAnswersShowAConfigurationThatDoesNotWork) {
  const std::string virtual_route = "mailer virtual, host qvinstall.invalid, user qvinstall\n";
  const std::string local_route = "mailer local, user root\n";
  const std::string warning =
      "Warning: .cf file is out of date: sendmail 8.17.1.9 supports version 10, .cf file is "
      "version 8\n";
  const struct {
    std::string answers, failure;
  } cases[] = {
      {warning + "ADDRESS TEST MODE (ruleset 3 NOT automatically invoked)\n" +
           "> Cracked address = $g\nParsing envelope recipient address\n" + virtual_route +
           "> Cracked address = $g\nParsing envelope recipient address\n" + local_route + "> ",
       ""},
      {local_route + virtual_route, ""},
      {"/etc/mail/sendmail.cf.qvtest.abc123: line 12: unknown configuration line \"Zz\"\n" +
           virtual_route + local_route,
       "/etc/mail/sendmail.cf.qvtest.abc123: line 12: unknown configuration line \"Zz\""},
      {"mailer smtp, host qvinstall.invalid, user qvinstall@qvinstall.invalid\n" + local_route,
       "mail for a virtual domain does not go to vdeliver"},
      {virtual_route + "mailer esmtp, host example.test, user root\n",
       "mail for a local user does not go to the local mailer"},
      {"", "mail for a virtual domain does not go to vdeliver"},
  };
  for (const auto& c : cases) EXPECT_EQ(RoutingFailure(c.answers), c.failure) << c.answers;
}

}  // namespace
