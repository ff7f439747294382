#include "host/folder_safety.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <string>

#include "common/remove_dir.h"

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

namespace {

// A scratch tree under /tmp with a package list folder of its own.
class RootTrustsFolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char folder[] = "/tmp/qv-trust-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    root_ = folder;
    ASSERT_EQ(mkdir(Path("lists").c_str(), 0755), 0);
  }
  void TearDown() override { RemoveDir(root_.c_str()); }

  std::string Path(const std::string& relative) const { return root_ + "/" + relative; }
  void MakeFile(const std::string& relative, const std::string& text, mode_t mode) {
    const std::string path = Path(relative);
    std::ofstream(path) << text;
    ASSERT_EQ(chmod(path.c_str(), mode), 0);
  }

  std::string root_;
};

TEST_F(RootTrustsFolderTest, FoldersRootRunsOrReadsFromAreTrusted) {
  ASSERT_EQ(mkdir(Path("packaged").c_str(), 0755), 0);
  ASSERT_EQ(mkdir(Path("holds-packaged").c_str(), 0755), 0);
  ASSERT_EQ(mkdir(Path("holds-packaged/share").c_str(), 0755), 0);
  ASSERT_EQ(mkdir(Path("tools").c_str(), 0755), 0);
  ASSERT_EQ(mkdir(Path("tools/deep").c_str(), 0755), 0);
  ASSERT_EQ(mkdir(Path("setuid").c_str(), 0755), 0);
  ASSERT_EQ(mkdir(Path("data").c_str(), 0755), 0);
  MakeFile("lists/one.list", "/.\n" + Path("packaged") + "\n", 0644);
  MakeFile("lists/two.list", Path("holds-packaged/share") + "\n", 0644);
  MakeFile("lists/ignored.md5sums", Path("data") + "\n", 0644);
  MakeFile("tools/deep/run", "#!/bin/sh\n", 0744);
  MakeFile("setuid/helper", "", 04600);
  MakeFile("data/letter", "text\n", 0644);
  ASSERT_EQ(symlink("/etc/ssh", Path("to-etc").c_str()), 0);
  struct Case {
    std::string folder;
    bool trusted;
  };
  const Case kCases[] = {
      {"/etc/ssh", true},
      {"/etc/ssh/new", true},
      {"/usr/lib/x86_64-linux-gnu", true},
      {"/usr/local/quorvane", true},
      {"/boot/qv", true},
      {"/lib64/qv", true},
      {"/bin/qv", true},
      {"/sbin", true},
      {"/var/lib/qv", true},
      {"/var/log/qv", true},
      {"/var/spool/vmail/example.test", true},
      {"/root/qv", true},
      {"/var", true},  // holds /var/lib
      {Path("to-etc") + "/x", true},
      {Path("packaged"), true},
      {Path("holds-packaged"), true},
      {Path("tools"), true},
      {Path("setuid"), true},
      {"", false},
      {"/var/quorvane", false},
      {"/srv/new-mail-root", false},
      {Path("data"), false},
      {Path("new"), false},
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(RootTrustsFolder(c.folder, Path("lists")), c.trusted) << c.folder;
  }
}

TEST_F(RootTrustsFolderTest, OverlapIsFoundWhicheverWayAndThroughLinks) {
  ASSERT_EQ(mkdir(Path("ins").c_str(), 0755), 0);
  ASSERT_EQ(mkdir(Path("ins/bin").c_str(), 0755), 0);
  ASSERT_EQ(symlink(Path("ins").c_str(), Path("alias").c_str()), 0);
  struct Case {
    std::string folder;
    bool overlaps;
  };
  const Case kCases[] = {
      {Path("ins"), true},     {Path("ins/"), true},
      {Path("ins/bin"), true}, {Path("ins/bin/../../ins/new"), true},
      {root_, true},           {Path("alias/bin"), true},
      {Path("alias"), true},   {Path("insider"), false},
      {Path("in"), false},     {"", false},
  };
  for (const Case& c : kCases)
    EXPECT_EQ(FoldersOverlap(c.folder, Path("ins")), c.overlaps) << c.folder;
}

}  // namespace
