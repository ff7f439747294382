#include "payload/qvsml/service_conf.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/default_conf.h"

namespace {

// The file as the installer writes it for its defaults.
const std::string kInstalled = DefaultConfText("/var/run/sendmail.pid");

std::string Replaced(const std::string& line, const std::string& by) {
  std::string text = kInstalled;
  text.replace(text.find(line), line.size(), by);
  return text;
}

}  // namespace

TEST(ServiceConfTest, ReadsTheInstallersFile) {
  ServiceConf conf;
  std::string err;
  ASSERT_TRUE(ParseServiceConf(kInstalled, &conf, &err)) << err;
  EXPECT_EQ(conf.DNSType, "BIND9");
  EXPECT_EQ(conf.Port, 33333u);
  EXPECT_EQ(conf.NamedPIDFile, "/var/run/named/named.pid");
  EXPECT_EQ(conf.SendMailPIDFile, "/var/run/sendmail.pid");
  EXPECT_EQ(conf.AutoDisconnectTime, 30u);
  EXPECT_EQ(conf.Expire, 604800u);
  EXPECT_EQ(conf.ttl, 86400u);
  EXPECT_EQ(conf.ns1, "@");
  EXPECT_EQ(conf.InsFolder, "/usr/local/quorvane");
  EXPECT_EQ(conf.RFolder, "/var/quorvane");
}

TEST(ServiceConfTest, NamesTheLineOfEachFault) {
  const struct {
    std::string text;
    std::string err;
  } cases[] = {
      {Replaced("Port 33333", "Port"), "line 3: Port needs a number"},
      {Replaced("Port 33333", "Port 4294967296"), "line 3: Port needs a number"},
      {Replaced("Port 33333", "Port -1"), "line 3: Port needs a number"},
      {Replaced("Port 33333", "Port \"1\""), "line 3: Port needs a number"},
      {Replaced("ns1 \"@\"", "ns1 @"), "line 12: ns1 needs a quoted text"},
      {Replaced("ns1 \"@\"", "ns1 \"a\"b\""), "line 12: ns1 needs a quoted text"},
      {Replaced("ns1 \"@\"", "ns1 \""), "line 12: ns1 needs a quoted text"},
      {Replaced("ttl 86400", "Colour \"blue\""), "line 11: unknown line"},
      {Replaced("ttl 86400", "ttl  86400"), "line 11: ttl needs a number"},
      {Replaced("ttl 86400", "TTL 86400"), "line 11: unknown line"},
      {Replaced("ttl 86400", "Retry 1"), "line 11: Retry is given twice"},
      {Replaced("InsFolder \"/usr/local/quorvane\"\n", ""), "no line for InsFolder"},
      {"", "no line for DNSType"},
  };
  for (const auto& c : cases) {
    ServiceConf conf;
    std::string err;
    EXPECT_FALSE(ParseServiceConf(c.text, &conf, &err)) << c.err;
    EXPECT_EQ(err, c.err);
  }
}
