#include "payload/quorvane/mail_lists.h"

#include <gtest/gtest.h>

namespace {

TEST(MailListsTest, AcceptsOnlyDomainNames) {
  for (const char* good : {"example.test", "a", "mail-1.Example.TEST", "x.y.z"}) {
    EXPECT_TRUE(IsDomainName(good)) << good;
  }
  for (const char* bad : {"", ".example.test", "example.test.", "a..b", "-a.test", "a-.test",
                          "a b.test", "a/b", "..", "a_b.test", "\xc3\xa9.test"}) {
    EXPECT_FALSE(IsDomainName(bad)) << bad;
  }
  EXPECT_TRUE(IsDomainName(std::string(63, 'a') + ".test"));
  EXPECT_FALSE(IsDomainName(std::string(64, 'a') + ".test"));
}

TEST(MailListsTest, EditsOnlyTheLinesOfTheNamedEntry) {
  const std::string domains =
      "#This file is used by sendmail and it lists the \n#virtual email domains.\n"
      "one.test\n  Two.TEST \nthree.test";
  struct Case {
    std::string text;
    LineKey key;
    std::string wanted, replacement, expected;
    size_t count;
  } cases[] = {
      {domains, DomainOfLine, "two.test", "",
       "#This file is used by sendmail and it lists the \n#virtual email domains.\n"
       "one.test\nthree.test",
       1},
      {domains, DomainOfLine, "four.test", "", domains, 0},
      {domains, DomainOfLine, "virtual", "", domains, 0},
      {"#bob:x\nbob:$6$a\nBOB:$6$b\nann:$6$c\n", UserOfLine, "bob", "bob:$6$new",
       "#bob:x\nbob:$6$new\nann:$6$c\n", 2},
      {"bob:$6$a\nann:$6$c\n", UserOfLine, "ann", "", "bob:$6$a\n", 1},
      {"bobby:$6$a\n", UserOfLine, "bob", "", "bobby:$6$a\n", 0},
  };
  for (const Case& c : cases) {
    size_t count = 99;
    EXPECT_EQ(c.expected, ReplaceLines(c.text, c.key, c.wanted, c.replacement, &count)) << c.wanted;
    EXPECT_EQ(c.count, count) << c.wanted;
  }
  EXPECT_EQ("a\nb\n", AppendLine("a", "b"));
  EXPECT_EQ("a\nb\n", AppendLine("a\n", "b"));
  EXPECT_EQ("b\n", AppendLine("", "b"));
}

}  // namespace
