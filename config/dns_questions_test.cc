#include "config/dns_questions.h"

#include <errno.h>

#include "config/test_dialogue.h"

namespace {

constexpr char kSpaces[] = "\nIlleagle value (spaces are not allowed).";

TEST(BindMenuTest, OneTwoOrEmptySelectAndEchoTheAnswer) {
  struct Case {
    const char* answer;
    const char* dns_type;
  };
  for (const Case& c : {Case{"", "BIND9"}, Case{"2", "BIND9"}, Case{"1", "BIND8"}}) {
    Dialogue d(std::string(c.answer) + "\n");
    TextField dns_type = "";
    ASSERT_TRUE(AskBindVersion(d.console, dns_type)) << c.answer;
    EXPECT_STREQ(dns_type, c.dns_type);
    EXPECT_EQ(d.out.str(), std::string(kMenu) + "\tOK\n" + c.answer + "\n");
  }
}

TEST(BindMenuTest, AnyOtherAnswerShowsTheMenuAgainWithoutMessage) {
  for (const char* refused : {" 2", "2 ", "9", "BIND9", "01", "1 ", "b", "2\r"}) {
    Dialogue d(std::string(refused) + "\n1\n");
    TextField dns_type = "";
    ASSERT_TRUE(AskBindVersion(d.console, dns_type)) << refused;
    EXPECT_STREQ(dns_type, "BIND8");
    EXPECT_EQ(d.out.str(), std::string(kMenu) + kMenu + "\tOK\n1\n") << refused;
  }
}

TEST(BindMenuTest, OverlongAnswerIsRefusedWhole) {
  Dialogue d(std::string(2000, '1') + "\n\n");
  TextField dns_type = "";
  ASSERT_TRUE(AskBindVersion(d.console, dns_type));
  EXPECT_STREQ(dns_type, "BIND9");
  EXPECT_EQ(d.out.str(), std::string(kMenu) + kMenu + "\tOK\n\n");
}

TEST(BindMenuTest, EndOfInputFailsOnAFreshLine) {
  Dialogue d("x\n");
  TextField dns_type = "";
  errno = 0;
  EXPECT_FALSE(AskBindVersion(d.console, dns_type));
  EXPECT_EQ(errno, ENODATA);
  EXPECT_STREQ(dns_type, "");
  EXPECT_EQ(d.out.str(), std::string(kMenu) + kMenu + "\n");
}

TEST(NameServerRuleTest, RefusesEveryPosixSpaceAnywhere) {
  for (const char* taken : {"ns1", "@", "ns1.example.test.", "", "\"x\"", "a-b_c"})
    EXPECT_EQ(NameServerRefusal(taken), nullptr) << taken;
  for (const char* refused :
       {"ns 1", "ns1 ", " ns1", "ns1\t", "\tns1", "a\vb", "a\fb", "ns1\r", "a\nb", " "})
    EXPECT_STREQ(NameServerRefusal(refused), "Illeagle value (spaces are not allowed).") << refused;
}

TEST(NameServerRuleTest, RefusedAnswerAsksAgainWithFieldUnchanged) {
  Dialogue d("ns 1\nns1\t\nns1.example.test.\n");
  TextField ns1 = "@";
  ASSERT_TRUE(AskText(d.console, kNs1Key, kNameServer, ns1, NameServerRefusal));
  EXPECT_STREQ(ns1, "ns1.example.test.");
  const std::string prompt = Prompt(kNameServer, "@");
  EXPECT_EQ(d.out.str(), prompt + kSpaces + prompt + kSpaces + prompt);
}

}  // namespace
