#include <errno.h>

#include <fstream>

#include "base/settings.h"
#include "config/test_dialogue.h"

namespace {

constexpr char kRefresh[] = "Enter default value of Refresh time for DNS: (Default: ";
constexpr char kRetry[] = "Enter default value of Retry time for DNS: (Default: ";
constexpr char kExpire[] = "Enter default value of Expire time for DNS: (Default: ";
constexpr char kTtl[] = "Enter default value of ttl for DNS: (Default: ";
constexpr char kConfirmConf[] = "Is this the correct path of named.conf file? ( Y/N ): ";
constexpr char kConfirmPid[] = "Is this the correct path of named.pid file? ( Y/N ): ";

// named's files in a scratch folder, and a settings record pointing at them.
class CheckDnsTest : public TempFolderTest {
 protected:
  void SetUp() override {
    TempFolderTest::SetUp();
    conf_ = Path("named.conf");
    pid_ = Path("named.pid");
    std::ofstream(conf_) << "options {};\n";
    std::ofstream(pid_) << "1234\n";
  }
  void PointAt(CGeneral& settings) const {
    StoreText(settings.NamedConfFile, conf_);
    StoreText(settings.NamedPIDFile, pid_);
  }
  std::string Backup() const { return "cp " + conf_ + " " + conf_ + ".qvbackup\n"; }
  static std::string ZoneDefaults() {
    return Prompt(kRefresh, "28800") + Prompt(kRetry, "7200") + Prompt(kExpire, "604800") +
           Prompt(kTtl, "86400");
  }

  std::string conf_, pid_;
};

TEST_F(CheckDnsTest, EmptyAnswersKeepEveryDefault) {
  Dialogue d("\n\n\n\n\n\n");
  CGeneral settings(d.console);
  PointAt(settings);
  ASSERT_EQ(settings.CheckDNS(), 0);
  EXPECT_EQ(d.out.str(), std::string(kMenu) + "\tOK\n\n" + "Checking DNS configurationg file..." +
                             "\tOK\n" + Backup() + "Checking DNS process id file...\t\tOK\n" +
                             Prompt(kNameServer, "@") + ZoneDefaults());
  EXPECT_STREQ(settings.DNSType, "BIND9");
  EXPECT_STREQ(settings.ns1, "@");
  EXPECT_EQ(settings.Refresh, 28800u);
  EXPECT_EQ(settings.Retry, 7200u);
  EXPECT_EQ(settings.Expire, 604800u);
  EXPECT_EQ(settings.ttl, 86400u);
  EXPECT_TRUE(std::filesystem::exists(conf_ + ".qvbackup"));
}

TEST_F(CheckDnsTest, RefusedAnswersAskAgainAndTheRestIsStored) {
  Dialogue d("9\n1\nns 1\nns1\t\nns1.example.test.\n80 \n-1\n0x10\n0\n   \n4294967296\n+5\n");
  CGeneral settings(d.console);
  PointAt(settings);
  ASSERT_EQ(settings.CheckDNS(), 0);
  const std::string ns = Prompt(kNameServer, "@");
  const std::string spaces = "\nIlleagle value (spaces are not allowed).";
  const std::string refresh = Prompt(kRefresh, "28800");
  const std::string retry = Prompt(kRetry, "7200");
  const std::string expire = Prompt(kExpire, "604800");
  const std::string illegal = "\nIlleagle value.";
  EXPECT_EQ(d.out.str(), std::string(kMenu) + kMenu + "\tOK\n1\n" +
                             "Checking DNS configurationg file...\tOK\n" + Backup() +
                             "Checking DNS process id file...\t\tOK\n" + ns + spaces + ns + spaces +
                             ns + refresh + illegal + refresh + retry + illegal + retry + expire +
                             illegal + expire + Prompt(kTtl, "86400"));
  EXPECT_STREQ(settings.DNSType, "BIND8");
  EXPECT_STREQ(settings.ns1, "ns1.example.test.");
  EXPECT_EQ(settings.Refresh, 4294967295u);
  EXPECT_EQ(settings.Retry, 0u);
  EXPECT_EQ(settings.Expire, 4294967295u);
  EXPECT_EQ(settings.ttl, 5u);
}

TEST_F(CheckDnsTest, MissingFilesGoThroughThePathConfirmation) {
  const std::string missing_conf = Path("missing.conf");
  const std::string missing_pid = Path("missing.pid");
  // named.conf: "n", then the readable file; pid file: accepted although missing.
  Dialogue d(
      "\n"
      "n\n" +
      conf_ + "\n" + "Y\n" + "\n\n\n\n\n");
  CGeneral settings(d.console);
  StoreText(settings.NamedConfFile, missing_conf);
  StoreText(settings.NamedPIDFile, missing_pid);
  ASSERT_EQ(settings.CheckDNS(), 0);
  EXPECT_EQ(d.out.str(), std::string(kMenu) + "\tOK\n\n" + "Checking DNS configurationg file..." +
                             missing_conf + "\n" + kConfirmConf +
                             "\nEnter full path of named.conf file: \tOK\n" + Backup() +
                             "Checking DNS process id file...\t" + missing_pid + "\n" +
                             kConfirmPid + Prompt(kNameServer, "@") + ZoneDefaults());
  EXPECT_EQ(std::string(settings.NamedConfFile), conf_);
  EXPECT_EQ(std::string(settings.NamedPIDFile), missing_pid);
}

TEST_F(CheckDnsTest, MissingConfAcceptedWithYStillRunsTheCopy) {
  const std::string missing_conf = Path("missing.conf");
  Dialogue d("\ny\n\n\n\n\n\n");
  CGeneral settings(d.console);
  PointAt(settings);
  StoreText(settings.NamedConfFile, missing_conf);
  ASSERT_EQ(settings.CheckDNS(), 0);
  EXPECT_NE(d.out.str().find(missing_conf + "\n" + kConfirmConf + "cp " + missing_conf + " " +
                             missing_conf + ".qvbackup\nChecking DNS process id file...\t\tOK\n"),
            std::string::npos)
      << d.out.str();
  EXPECT_FALSE(std::filesystem::exists(missing_conf + ".qvbackup"));
}

TEST_F(CheckDnsTest, EndOfInputInAnyQuestionFailsWithEnodata) {
  // Each answer list ends inside a different question.
  const char* kAnswers[] = {"",         "\n",           "\n\n",         "\n\n\n",
                            "\n\n\n\n", "\n\n\n\n\n",   "\nn\n",        "\nn\n/x\n",
                            "\nnx\n",   "\n\n\nns 1\n", "\n\n\n\n80 \n"};
  for (const char* answers : kAnswers) {
    Dialogue d(answers);
    CGeneral settings(d.console);
    PointAt(settings);
    if (std::string(answers).starts_with("\nn")) StoreText(settings.NamedConfFile, Path("none"));
    errno = 0;
    EXPECT_EQ(settings.CheckDNS(), 1) << answers;
    EXPECT_EQ(errno, ENODATA) << answers;
    EXPECT_TRUE(d.out.str().ends_with("\n")) << answers;
  }
}

}  // namespace
