#include "common/remove_dir.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <string>

namespace {

class RemoveDirTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char folder[] = "/tmp/qv-remove-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    root_ = folder;
  }
  void TearDown() override { system(("rm -rf '" + root_ + "'").c_str()); }

  std::string Path(const std::string& relative) const { return root_ + "/" + relative; }
  void MakeDir(const std::string& relative) { ASSERT_EQ(mkdir(Path(relative).c_str(), 0755), 0); }
  void MakeFile(const std::string& relative) { std::ofstream(Path(relative)) << "x\n"; }
  bool Exists(const std::string& relative) const {
    struct stat st;
    return lstat(Path(relative).c_str(), &st) == 0;
  }

  std::string root_;
};

TEST_F(RemoveDirTest, RemovesAWholeTreeWithDotFiles) {
  MakeDir("tree");
  MakeDir("tree/qv");
  MakeDir("tree/qv/deep");
  MakeFile("tree/.hidden");
  MakeFile("tree/qv/file");
  MakeFile("tree/qv/deep/..x");
  ASSERT_EQ(symlink("/nonexistent/target", Path("tree/dangling").c_str()), 0);
  EXPECT_EQ(RemoveDir(Path("tree").c_str()), 0);
  EXPECT_FALSE(Exists("tree"));
}

TEST_F(RemoveDirTest, MissingPathOrPlainFileIsRefused) {
  MakeFile("plain");
  EXPECT_EQ(RemoveDir(Path("missing").c_str()), 1);
  EXPECT_EQ(RemoveDir(Path("plain").c_str()), 1);
  EXPECT_TRUE(Exists("plain"));
}

TEST_F(RemoveDirTest, EmptyFolderAndTrailingSlash) {
  MakeDir("empty");
  EXPECT_EQ(RemoveDir(Path("empty").c_str()), 0);
  MakeDir("slash");
  MakeFile("slash/f");
  EXPECT_EQ(RemoveDir((Path("slash") + "/").c_str()), 0);
  EXPECT_FALSE(Exists("slash"));
}

TEST_F(RemoveDirTest, LinkToAFolderOutsideIsRemovedAsALinkOnly) {
  MakeDir("outside");
  MakeFile("outside/precious");
  MakeDir("tree");
  ASSERT_EQ(symlink(Path("outside").c_str(), Path("tree/link").c_str()), 0);
  EXPECT_EQ(RemoveDir(Path("tree").c_str()), 0);
  EXPECT_FALSE(Exists("tree"));
  EXPECT_TRUE(Exists("outside/precious"));
}

TEST_F(RemoveDirTest, PathThatIsALinkIsNotFollowed) {
  MakeDir("outside");
  MakeFile("outside/precious");
  ASSERT_EQ(symlink(Path("outside").c_str(), Path("link").c_str()), 0);
  EXPECT_EQ(RemoveDir(Path("link").c_str()), 1);
  EXPECT_TRUE(Exists("outside/precious"));
}

TEST_F(RemoveDirTest, UndeletableFileKeepsItsFoldersAndFailsUpward) {
  MakeDir("tree");
  MakeFile("tree/before");
  MakeDir("tree/locked");
  MakeFile("tree/locked/stuck");
  MakeFile("tree/locked/other");
  // An immutable file cannot be unlinked, even by root.
  if (system(("chattr +i '" + Path("tree/locked/stuck") + "' 2>/dev/null").c_str()) != 0)
    GTEST_SKIP() << "no immutable files on this file system";
  EXPECT_EQ(RemoveDir(Path("tree").c_str()), 1);
  system(("chattr -i '" + Path("tree/locked/stuck") + "'").c_str());
  EXPECT_TRUE(Exists("tree/locked/stuck"));
  EXPECT_FALSE(Exists("tree/locked/other"));
}

}  // namespace
