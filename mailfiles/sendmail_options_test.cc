#include "mailfiles/sendmail_options.h"

#include <gtest/gtest.h>
#include <pwd.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace {

// The parts of the package's template that the carrying-over touches.
constexpr char kTemplate[] =
    "V8/Berkeley\n"
    "O AliasFile=/etc/aliases\n"
    "O PidFile=/var/run/sendmail.pid\n"
    "O QueueDirectory=/var/spool/mqueue\n"
    "O UnixFromLine=From $g $d\n"
    "S0\n"
    "Mlocal,\t\tP=/usr/libexec/sendmail/mail.local, F=lsDFMAw:/|@qSPfhn9E, S=10, R=20/40,\n"
    "\t\tT=DNS/RFC822/X-Unix,\n"
    "\t\tA=mail.local -d $u\n"
    "Mprog,\t\tP=/bin/sh, F=lsDFMoqeu9, S=10, R=20/40, D=$z:/,\n"
    "\t\tA=sh -c $u\n";

// What Debian's m4-made sendmail.cf sets of them.
constexpr char kDebianCf[] =
    "O AliasFile=/etc/mail/aliases\n"
    "O DaemonPortOptions=Family=inet,  Name=MTA-v4, Port=smtp, Addr=127.0.0.1\n"
    "O DaemonPortOptions=Family=inet,  Name=MSP-v4, Port=submission, M=Ea, Addr=127.0.0.1\n"
    "O QueueDirectory=/var/spool/mqueue\n"
    "O DeliveryMode=background\n"
    "O DefaultUser=mail:mail\n"
    "O TrustedUser=smmta\n"
    "O PidFile=/var/run/sendmail/mta/sendmail.pid\n"
    "Mlocal,\t\tP=/usr/sbin/sensible-mda, F=lsDFMAw5:/|@qPn9S, S=EnvFromL/HdrFromL, "
    "R=EnvToL/HdrToL,\n"
    "\t\tT=DNS/RFC822/X-Unix,\n"
    "\t\tA=sensible-mda $g $u $h ${client_addr}\n";

constexpr char kTemplateMailers[] =
    "S0\n"
    "Mlocal,\t\tP=/usr/libexec/sendmail/mail.local, F=lsDFMAw:/|@qSPfhn9E, S=10, R=20/40,\n"
    "\t\tT=DNS/RFC822/X-Unix,\n"
    "\t\tA=mail.local -d $u\n"
    "Mprog,\t\tP=/bin/sh, F=lsDFMoqeu9, S=10, R=20/40, D=$z:/,\n"
    "\t\tA=sh -c $u\n";

SendmailHostFacts Facts(const std::string& queue_owner, bool template_mailer, bool host_mailer) {
  SendmailHostFacts facts;
  facts.queue_owner = queue_owner;
  facts.template_local_mailer_installed = template_mailer;
  facts.host_local_mailer_installed = host_mailer;
  return facts;
}

TEST(SendmailOptionsTest, CarriesOverWhatBindsSendmailToTheHost) {
  const struct {
    const char* name;
    std::string replaced;
    SendmailHostFacts facts;
    std::string expected;
  } cases[] = {
      {"Debian's file, whose queue belongs to smmta", kDebianCf, Facts("smmta", true, true),
       std::string("V8/Berkeley\n"
                   "O AliasFile=/etc/mail/aliases\n"
                   "O PidFile=/var/run/sendmail/mta/sendmail.pid\n"
                   "O QueueDirectory=/var/spool/mqueue\n"
                   "O UnixFromLine=From $g $d\n"
                   "O TrustedUser=smmta\n"
                   "O DefaultUser=mail:mail\n"
                   "O DaemonPortOptions=Family=inet,  Name=MTA-v4, Port=smtp, Addr=127.0.0.1\n"
                   "O DaemonPortOptions=Family=inet,  Name=MSP-v4, Port=submission, M=Ea, "
                   "Addr=127.0.0.1\n") +
           kTemplateMailers},
      {"a file with the template's values",
       "O QueueDirectory=/var/spool/mqueue\n"
       "O PidFile=/var/run/sendmail.pid\nO DeliveryMode=interactive\n",
       Facts("", true, false), kTemplate},
      {"no file at all, a root-owned queue", "", Facts("", false, false), kTemplate},
      {"a queue of another user and no TrustedUser", "O QueueDirectory=/var/spool/mqueue\n",
       Facts("smmta", true, false),
       std::string("V8/Berkeley\n"
                   "O AliasFile=/etc/aliases\n"
                   "O PidFile=/var/run/sendmail.pid\n"
                   "O QueueDirectory=/var/spool/mqueue\n"
                   "O UnixFromLine=From $g $d\n"
                   "O TrustedUser=smmta\n") +
           kTemplateMailers},
      {"sendmail runs as the queue's owner", "O RunAsUser=smmta\n", Facts("smmta", true, false),
       std::string("V8/Berkeley\n"
                   "O AliasFile=/etc/aliases\n"
                   "O PidFile=/var/run/sendmail.pid\n"
                   "O QueueDirectory=/var/spool/mqueue\n"
                   "O UnixFromLine=From $g $d\n"
                   "O RunAsUser=smmta\n") +
           kTemplateMailers},
      {"option names in any case", "O trusteduser=mailq\nO  queuedirectory=/srv/mqueue\n",
       Facts("smmta", true, false),
       std::string("V8/Berkeley\n"
                   "O AliasFile=/etc/aliases\n"
                   "O PidFile=/var/run/sendmail.pid\n"
                   "O  queuedirectory=/srv/mqueue\n"
                   "O UnixFromLine=From $g $d\n"
                   "O trusteduser=mailq\n") +
           kTemplateMailers},
      {"only the host's local mailer is installed", kDebianCf, Facts("", false, true),
       std::string("V8/Berkeley\n"
                   "O AliasFile=/etc/mail/aliases\n"
                   "O PidFile=/var/run/sendmail/mta/sendmail.pid\n"
                   "O QueueDirectory=/var/spool/mqueue\n"
                   "O UnixFromLine=From $g $d\n"
                   "O TrustedUser=smmta\n"
                   "O DefaultUser=mail:mail\n"
                   "O DaemonPortOptions=Family=inet,  Name=MTA-v4, Port=smtp, Addr=127.0.0.1\n"
                   "O DaemonPortOptions=Family=inet,  Name=MSP-v4, Port=submission, M=Ea, "
                   "Addr=127.0.0.1\n"
                   "S0\n"
                   "Mlocal,\t\tP=/usr/sbin/sensible-mda, F=lsDFMAw5:/|@qPn9S, S=10, R=20/40,\n"
                   "\t\tT=DNS/RFC822/X-Unix,\n"
                   "\t\tA=sensible-mda $g $u $h ${client_addr}\n"
                   "Mprog,\t\tP=/bin/sh, F=lsDFMoqeu9, S=10, R=20/40, D=$z:/,\n"
                   "\t\tA=sh -c $u\n")},
      {"neither local mailer is installed", "Mlocal,\tP=/usr/bin/procmail, S=EnvFromL\n",
       Facts("", false, false), kTemplate},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(KeepHostOptions(kTemplate, c.replaced, c.facts), c.expected) << c.name;
  }
}

TEST(SendmailOptionsTest, LearnsTheQueueOwnerAndWhichLocalMailersAreInstalled) {
  char folder[] = "/tmp/qv-sendmail-options-XXXXXX";
  ASSERT_NE(mkdtemp(folder), nullptr);
  const std::string root = folder;
  std::filesystem::create_directories(root + "/var/spool/mqueue");
  std::filesystem::create_directories(root + "/usr/sbin");
  std::ofstream(root + "/usr/sbin/sensible-mda") << "#!/bin/sh\n";
  chmod((root + "/usr/sbin/sensible-mda").c_str(), 0755);

  SendmailHostFacts facts = LearnSendmailHostFacts(kTemplate, kDebianCf, root);
  EXPECT_EQ(facts.queue_owner, "");  // root's
  EXPECT_FALSE(facts.template_local_mailer_installed);
  EXPECT_TRUE(facts.host_local_mailer_installed);

  ASSERT_EQ(chown((root + "/var/spool/mqueue").c_str(), 65534, 65534), 0);
  const passwd* nobody = getpwuid(65534);
  ASSERT_NE(nobody, nullptr);
  EXPECT_EQ(LearnSendmailHostFacts(kTemplate, "", root).queue_owner, nobody->pw_name);
  EXPECT_FALSE(LearnSendmailHostFacts(kTemplate, "", root).host_local_mailer_installed);
  std::filesystem::remove_all(root);
}

}  // namespace
