#include "payload/qvsml/safe_name.h"

#include <gtest/gtest.h>

TEST(SafeNameTest, AcceptsOnlyNamesThatStayInTheirFolder) {
  const struct {
    std::string name;
    bool safe;
  } cases[] = {
      {"alice", true},
      {"joe.bloggs", true},
      {"mail.example.test", true},
      {"a", true},
      {std::string(255, 'a'), true},
      {std::string(256, 'a'), false},
      {"", false},
      {".", false},
      {"..", false},
      {".hidden", false},
      {"a..b", false},
      {"../etc", false},
      {"a/b", false},
      {"/", false},
      {"a b", false},
      {"a\tb", false},
      {"a\nb", false},
      {std::string("a\0b", 3), false},
      {"a\x7f", false},
      {"bob.lock", false},
      {"bob.locks", true},
  };
  for (const auto& c : cases) EXPECT_EQ(IsSafeName(c.name), c.safe) << c.name;
}
