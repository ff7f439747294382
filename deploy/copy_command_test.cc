#include "deploy/copy_command.h"

#include <gtest/gtest.h>

namespace {

TEST(CopyCommandTest, FolderReachesCpAsOneArgument) {
  struct Case {
    const char* folder;
    const char* command;
  };
  const Case kCases[] = {
      {"/usr/local/quorvane/bin/", "cp quorvane /usr/local/quorvane/bin/"},
      {"/opt/q v/bin/", "cp quorvane '/opt/q v/bin/'"},
      {"/opt/qv;cd;touch pwned;x/bin/", "cp quorvane '/opt/qv;cd;touch pwned;x/bin/'"},
      {"/opt/it's/bin/", "cp quorvane '/opt/it'\\''s/bin/'"},
      {"/opt/$(reboot)`x`/bin/", "cp quorvane '/opt/$(reboot)`x`/bin/'"},
      {"-rf/bin/", "cp quorvane ./-rf/bin/"},
  };
  for (const Case& c : kCases) {
    std::string command;
    ASSERT_TRUE(CopyCommand(c.folder, "quorvane", &command)) << c.folder;
    EXPECT_EQ(command, c.command);
  }
  std::string command;
  ASSERT_TRUE(CopyCommand("/usr/local/quorvane/bin/", "libstdc++-3-libc6.2-2-2.10.0.so", &command));
  EXPECT_EQ(command, "cp libstdc++-3-libc6.2-2-2.10.0.so /usr/local/quorvane/bin/");
}

TEST(CopyCommandTest, CommandThatDoesNotFitIsNotBuilt) {
  std::string command = "unchanged";
  // 1023 characters and the NUL fill the buffer exactly.
  const std::string fits(1023 - 3 - 8 - 1, 'a');
  EXPECT_TRUE(CopyCommand(fits, "quorvane", &command));
  EXPECT_EQ(command.size(), 1023u);
  command = "unchanged";
  EXPECT_FALSE(CopyCommand(fits + "a", "quorvane", &command));
  EXPECT_EQ(command, "unchanged");
  // Quoting grows the line: 300 quotes need four characters each.
  EXPECT_FALSE(CopyCommand(std::string(300, '\''), "quorvane", &command));
}

}  // namespace
