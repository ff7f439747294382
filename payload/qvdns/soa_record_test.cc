#include "payload/qvdns/soa_record.h"

#include <gtest/gtest.h>

namespace {

TEST(SoaRecordTest, SerialIsTheUtcDateAndOne) {
  EXPECT_EQ(2026120701u, ZoneSerial(1796601600));  // 2026-12-07 00:00:00 UTC
  EXPECT_EQ(2024022901u, ZoneSerial(1709251199));  // 2024-02-29 23:59:59 UTC
}

TEST(SoaRecordTest, WritesTheDefaultsAsAZoneFileRecord) {
  struct Case {
    const char* ns1;
    const char* written;
  } cases[] = {
      {"@", "@"},
      {"ns1", "ns1"},
      {"ns1.example.test", "ns1.example.test."},
      {"ns1.example.test.", "ns1.example.test."},
      {"", "@"},
  };
  for (const Case& c : cases) {
    ZoneDefaults defaults{c.ns1, 28800, 7200, 604800, 86400};
    EXPECT_EQ(std::string("$TTL 86400\n@\tIN\tSOA\t") + c.written +
                  " hostmaster (\n"
                  "\t\t\t2026120701\t; serial\n"
                  "\t\t\t28800\t; refresh\n"
                  "\t\t\t7200\t; retry\n"
                  "\t\t\t604800\t; expire\n"
                  "\t\t\t86400 )\t; minimum\n",
              RenderSoaRecord(defaults, 2026120701))
        << c.ns1;
  }
}

}  // namespace
