#include "payload/qvsml/access_list.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

namespace {

in_addr_t Address(const char* text) {
  in_addr address;
  inet_pton(AF_INET, text, &address);
  return address.s_addr;
}

TEST(AccessListTest, ListsTheAddressesTheInstallerWrites) {
  AccessList list;
  std::string err;
  ASSERT_TRUE(ParseAccessList(
      "#This file lists the  IP of the hosts which are\n#allowed to use the Quorvane server.\n"
      "127.0.0.1\n\n  10.1.0.9 \r\n192.168.1.20",
      &list, &err))
      << err;
  for (const char* allowed : {"127.0.0.1", "10.1.0.9", "192.168.1.20"}) {
    EXPECT_TRUE(list.Allows(Address(allowed))) << allowed;
  }
  for (const char* refused : {"127.0.0.2", "192.168.1.2", "0.0.0.0"}) {
    EXPECT_FALSE(list.Allows(Address(refused))) << refused;
  }
}

TEST(AccessListTest, NamesTheLineThatIsNoAddress) {
  struct Case {
    const char* text;
    const char* err;
  } cases[] = {
      {"127.0.0.1\n192.168.1\n", "line 2: not an IPv4 address: 192.168.1"},
      {"#\n127.0.0.1 # me\n", "line 2: not an IPv4 address: 127.0.0.1 # me"},
      {"host.example.test\n", "line 1: not an IPv4 address: host.example.test"},
      {"010.1.0.9\n", "line 1: not an IPv4 address: 010.1.0.9"},
  };
  for (const Case& c : cases) {
    AccessList list;
    std::string err;
    EXPECT_FALSE(ParseAccessList(c.text, &list, &err)) << c.text;
    EXPECT_EQ(c.err, err);
  }
}

}  // namespace
