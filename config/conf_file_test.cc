#include "config/conf_file.h"

#include <gtest/gtest.h>

#include "base/settings.h"
#include "tests/default_conf.h"

namespace {

TEST(ConfFileTest, DefaultsWithoutMailPartGiveThe288ByteFile) {
  CGeneral settings;
  StoreText(settings.DNSType, "BIND9");
  const std::string conf = RenderConf(settings);
  EXPECT_EQ(conf, DefaultConfText(""));
  EXPECT_EQ(conf.size(), 288u);
}

TEST(ConfFileTest, MailPartDefaultsGive309Bytes) {
  CGeneral settings;
  StoreText(settings.DNSType, "BIND9");
  StoreText(settings.SendMailCfFile, "/etc/sendmail.cf");  // never written
  StoreText(settings.SendMailPIDFile, "/var/run/sendmail.pid");
  const std::string conf = RenderConf(settings);
  EXPECT_EQ(conf.size(), 309u);
  EXPECT_NE(conf.find("SendMailPIDFile \"/var/run/sendmail.pid\"\n"), std::string::npos);
  EXPECT_EQ(conf.find("sendmail.cf"), std::string::npos);
}

TEST(ConfFileTest, NumbersAreUnsignedDecimalAndTextKeepsBlanks) {
  CGeneral settings;
  StoreText(settings.DNSType, "BIND8");
  settings.Port = 0;
  settings.ttl = 4294967295u;
  StoreText(settings.InsFolder, "/opt/qv ");
  const std::string conf = RenderConf(settings);
  EXPECT_NE(conf.find("\nDNSType \"BIND8\"\n"), std::string::npos);
  EXPECT_NE(conf.find("\nPort 0\n"), std::string::npos);
  EXPECT_NE(conf.find("\nttl 4294967295\n"), std::string::npos);
  EXPECT_NE(conf.find("\nInsFolder \"/opt/qv \"\n"), std::string::npos);
}

}  // namespace
