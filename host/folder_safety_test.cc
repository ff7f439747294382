#include "host/folder_safety.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "host/remove_dir.h"

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

class FolderSafetyFilesTest : public testing::Test {
 protected:
  void SetUp() override {
    char name[] = "/tmp/qv-safety-XXXXXX";
    ASSERT_NE(mkdtemp(name), nullptr);
    dir_ = name;
  }
  void TearDown() override { RemoveDir(dir_.c_str()); }
  std::string Path(const char* name) const { return dir_ + "/" + name; }
  std::string dir_;
};

TEST_F(FolderSafetyFilesTest, LinksAreFollowedToTheFolderTheyName) {
  ASSERT_EQ(symlink("/usr", Path("to-usr").c_str()), 0);
  ASSERT_EQ(symlink("/", Path("to-root").c_str()), 0);
  EXPECT_TRUE(IsSystemFolder(Path("to-usr")));
  EXPECT_TRUE(IsSystemFolder(Path("to-root") + "/etc"));
  EXPECT_TRUE(IsSystemFolder(Path("to-usr") + "/bin/"));
  EXPECT_FALSE(IsSystemFolder(Path("to-usr") + "/qv-not-there"));
}

TEST_F(FolderSafetyFilesTest, OnlyFoldersRootAloneCanChangeAreSafe) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to own the folders";
  struct Case {
    const char* name;
    mode_t parent_mode;
    mode_t mode;
    uid_t owner;
    bool safe;
  };
  const Case kCases[] = {
      {"plain", 0755, 0755, 0, true},           {"group-writable", 0755, 0775, 0, false},
      {"world-writable", 0755, 0777, 0, false}, {"sticky-itself", 0755, 01777, 0, false},
      {"below-sticky", 01777, 0755, 0, true},   {"below-writable", 0777, 0755, 0, false},
      {"not-root", 0755, 0755, 65534, false},
  };
  for (const Case& c : kCases) {
    const std::string parent = Path(c.name);
    const std::string folder = parent + "/qv";
    ASSERT_EQ(mkdir(parent.c_str(), 0755), 0);
    ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
    ASSERT_EQ(chmod(parent.c_str(), c.parent_mode), 0);
    ASSERT_EQ(chmod(folder.c_str(), c.mode), 0);
    ASSERT_EQ(chown(folder.c_str(), c.owner, 0), 0);
    EXPECT_EQ(OnlyRootCanChange(folder), c.safe) << c.name;
    // A folder still to be made is judged by the folders above it.
    EXPECT_EQ(OnlyRootCanChange(folder + "/new"), c.safe && c.owner == 0 && !(c.mode & 022))
        << c.name;
  }
}

}  // namespace
