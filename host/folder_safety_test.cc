#include "host/folder_safety.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(FolderSafetyTest, SystemFoldersAreKnownHoweverTheyAreWritten) {
  struct Case {
    const char* path;
    bool system;
  };
  const Case kCases[] = {
      {"/", true},
      {"//", true},
      {"/.", true},
      {"/usr/", true},
      {"/usr/./bin", true},
      {"/usr/local/../bin", true},
      {"/etc", true},
      {"/var/spool/", true},
      {"/lib64", true},
      {"/libx32", true},
      {"/proc/1", true},
      {"/dev/shm/qv", true},
      {"/root", true},
      {"/tmp", true},
      {"/home", true},
      {"/usr/local", true},
      {"/../usr", true},
      {"", false},
      {"/usr/local/quorvane", false},
      {"/opt/qv", false},
      {"/home/admin/qv", false},
      {"/var/quorvane", false},
      {"/usr/lib/qv", false},
      {"/library", true},
      {"/tmp/qv", false},
  };
  for (const Case& c : kCases) EXPECT_EQ(IsSystemFolder(c.path), c.system) << c.path;
}

}  // namespace
