#include "mailfiles/text_lines.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using Lines = std::vector<std::string_view>;

TEST(TextLinesTest, SplitsOnLineFeedsOnly) {
  EXPECT_EQ(SplitLines(""), Lines{});
  EXPECT_EQ(SplitLines("\n"), Lines{""});
  EXPECT_EQ(SplitLines("a\n\nb\n"), (Lines{"a", "", "b"}));
  EXPECT_EQ(SplitLines("a\r\nb"), (Lines{"a\r", "b"}));
}

TEST(TextLinesTest, KeepsLinesLongerThanAnyBuffer) {
  const std::string long_line(100000, 'x');
  const std::string text = long_line + "\nshort\n";
  Lines lines = SplitLines(text);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], long_line);
  EXPECT_EQ(lines[1], "short");
}

}  // namespace
