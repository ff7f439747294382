#include "preview/unified_diff.h"

#include <gtest/gtest.h>

namespace {

// Lines "1\n" to "n\n".
std::string Numbered(int n) {
  std::string text;
  for (int i = 1; i <= n; ++i) text += std::to_string(i) + "\n";
  return text;
}

std::string Replace(std::string text, const std::string& from, const std::string& to) {
  return text.replace(text.find(from), from.size(), to);
}

TEST(UnifiedDiffTest, PrintsHunksAsDiffDoes) {
  struct Case {
    const char* name;
    std::string before, after, diff;
  };
  const std::string head = "--- a\n+++ b\n";
  const Case cases[] = {
      {"equal", Numbered(5), Numbered(5), ""},
      {"one line in the middle", Numbered(10), Replace(Numbered(10), "5\n", "five\n"),
       head + "@@ -2,7 +2,7 @@\n 2\n 3\n 4\n-5\n+five\n 6\n 7\n 8\n"},
      {"first line, short context", Numbered(3), Replace(Numbered(3), "1\n", "one\n"),
       head + "@@ -1,3 +1,3 @@\n-1\n+one\n 2\n 3\n"},
      {"two far apart", Numbered(20),
       Replace(Replace(Numbered(20), "\n2\n", "\ntwo\n"), "\n19\n", "\nnineteen\n"),
       head + "@@ -1,5 +1,5 @@\n 1\n-2\n+two\n 3\n 4\n 5\n" +
           "@@ -16,5 +16,5 @@\n 16\n 17\n 18\n-19\n+nineteen\n 20\n"},
      {"two sharing context", Numbered(12),
       Replace(Replace(Numbered(12), "\n3\n", "\n"), "\n9\n", "\n"),
       head + "@@ -1,12 +1,10 @@\n 1\n 2\n-3\n 4\n 5\n 6\n 7\n 8\n-9\n 10\n 11\n 12\n"},
      {"from nothing", "", "x\ny\n", head + "@@ -0,0 +1,2 @@\n+x\n+y\n"},
      {"last line end added", "a\nb", "a\nb\n",
       head + "@@ -1,2 +1,2 @@\n a\n-b\n\\ No newline at end of file\n+b\n"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(UnifiedDiff(c.before, c.after, "a", "b"), c.diff) << c.name;
  }
}

TEST(UnifiedDiffTest, TellsTextFromBinary) {
  EXPECT_TRUE(LooksLikeText("options {\n};\n"));
  EXPECT_FALSE(
      LooksLikeText(std::string("\x7f"
                                "ELF\0\1",
                                6)));
}

}  // namespace
