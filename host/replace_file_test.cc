#include "host/replace_file.h"

#include <dirent.h>
#include <errno.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

#include "host/remove_dir.h"

namespace {

class ReplaceFileTest : public testing::Test {
 protected:
  void SetUp() override {
    char name[] = "/tmp/qv-replace-XXXXXX";
    ASSERT_NE(mkdtemp(name), nullptr);
    dir_ = name;
  }
  void TearDown() override { RemoveDir(dir_.c_str()); }

  std::string Path(const std::string& name) const { return dir_ + "/" + name; }
  void Put(const std::string& name, const std::string& content, mode_t mode = 0640) {
    std::ofstream(Path(name)) << content;
    chmod(Path(name).c_str(), mode);
  }
  std::string Get(const std::string& name) const {
    std::string content, err;
    EXPECT_TRUE(ReadWholeFile(Path(name), &content, &err)) << err;
    return content;
  }
  mode_t Mode(const std::string& name) const {
    struct stat st;
    EXPECT_EQ(lstat(Path(name).c_str(), &st), 0);
    return st.st_mode & 07777;
  }
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    DIR* d = opendir(dir_.c_str());
    while (dirent* e = readdir(d)) {
      std::string name = e->d_name;
      if (name != "." && name != "..") names.push_back(name);
    }
    closedir(d);
    std::sort(names.begin(), names.end());
    return names;
  }

  std::string dir_;
};

TEST_F(ReplaceFileTest, ReadWholeFileKeepsEveryByteAndReportsOpenErrors) {
  std::string binary("a\0b\n", 4);
  binary += std::string(200000, 'z');
  Put("f", binary);
  EXPECT_EQ(Get("f"), binary);
  std::string content, err;
  EXPECT_FALSE(ReadWholeFile(Path("missing"), &content, &err));
  EXPECT_EQ(errno, ENOENT);
  EXPECT_NE(err.find(Path("missing")), std::string::npos);
}

TEST_F(ReplaceFileTest, BackupReplacesAnOlderOneAndKeepsTheFileInPlace) {
  Put("f", "live\n", 0600);
  Put("f.qvbackup", "older\n");
  std::string err;
  ASSERT_TRUE(BackupFile(Path("f"), Path("f.qvbackup"), &err)) << err;
  EXPECT_EQ(Get("f"), "live\n");
  EXPECT_EQ(Get("f.qvbackup"), "live\n");
  EXPECT_EQ(Mode("f.qvbackup"), 0600u);
  EXPECT_EQ(Names(), (std::vector<std::string>{"f", "f.qvbackup"}));
}

// A backup that cannot be a link (here: another file system) is a copy
// with the same content and mode.
TEST_F(ReplaceFileTest, BackupIsACopyWhenLinkingFails) {
  char name[] = "/dev/shm/qv-replace-XXXXXX";
  if (mkdtemp(name) == nullptr) GTEST_SKIP() << "no /dev/shm";
  const std::string other = name;
  struct stat here, there;
  stat(dir_.c_str(), &here);
  stat(other.c_str(), &there);
  if (here.st_dev == there.st_dev) {
    RemoveDir(other.c_str());
    GTEST_SKIP() << "/dev/shm is on the same file system as /tmp";
  }
  Put("f", "live\n", 0604);
  std::string err;
  EXPECT_TRUE(BackupFile(Path("f"), other + "/f.qvbackup", &err)) << err;
  std::string copy;
  EXPECT_TRUE(ReadWholeFile(other + "/f.qvbackup", &copy, &err)) << err;
  EXPECT_EQ(copy, "live\n");
  struct stat st;
  EXPECT_EQ(stat((other + "/f.qvbackup").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0604u);
  RemoveDir(other.c_str());
}

TEST_F(ReplaceFileTest, BackupOfAMissingFileFailsAndLeavesTheOlderBackup) {
  Put("f.qvbackup", "older\n");
  std::string err;
  EXPECT_FALSE(BackupFile(Path("f"), Path("f.qvbackup"), &err));
  EXPECT_EQ(errno, ENOENT);
  EXPECT_EQ(Get("f.qvbackup"), "older\n");
  EXPECT_EQ(Names(), std::vector<std::string>{"f.qvbackup"});
}

TEST_F(ReplaceFileTest, BackupKeepsTheOldContentAfterTheFileIsReplaced) {
  Put("f", "old\n");
  std::string err;
  ASSERT_TRUE(BackupFile(Path("f"), Path("f.qvbackup"), &err)) << err;
  ReplacementFile replacement(Path("f"));
  ASSERT_TRUE(replacement.Create(&err)) << err;
  ASSERT_TRUE(replacement.Write("new\n", 0644, &err)) << err;
  ASSERT_TRUE(replacement.Commit(&err)) << err;
  EXPECT_EQ(Get("f"), "new\n");
  EXPECT_EQ(Mode("f"), 0644u);
  EXPECT_EQ(Get("f.qvbackup"), "old\n");
  EXPECT_EQ(Names(), (std::vector<std::string>{"f", "f.qvbackup"}));
}

TEST_F(ReplaceFileTest, ReplacementCreatesAMissingFile) {
  std::string err;
  ReplacementFile replacement(Path("new"));
  ASSERT_TRUE(replacement.Create(&err)) << err;
  ASSERT_TRUE(replacement.Write("", 0664, &err)) << err;
  ASSERT_TRUE(replacement.Commit(&err)) << err;
  EXPECT_EQ(Get("new"), "");
  EXPECT_EQ(Mode("new"), 0664u);
}

TEST_F(ReplaceFileTest, UncommittedReplacementLeavesNothingBehind) {
  Put("f", "old\n");
  std::string err;
  {
    ReplacementFile replacement(Path("f"));
    ASSERT_TRUE(replacement.Create(&err)) << err;
    ASSERT_TRUE(replacement.Write("new\n", 0644, &err)) << err;
    EXPECT_EQ(Names().size(), 2u);
  }
  EXPECT_EQ(Get("f"), "old\n");
  EXPECT_EQ(Names(), std::vector<std::string>{"f"});
}

TEST_F(ReplaceFileTest, ReplacementInAMissingFolderFailsWithItsErrno) {
  std::string err;
  ReplacementFile replacement(Path("no/such"));
  EXPECT_FALSE(replacement.Create(&err));
  EXPECT_EQ(errno, ENOENT);
  EXPECT_FALSE(replacement.Commit(&err));
}

TEST_F(ReplaceFileTest, FailedCommitLeavesTheFileAndRemovesTheTemporary) {
  ASSERT_EQ(mkdir(Path("d").c_str(), 0755), 0);
  Put("d/x", "inside\n");  // a folder with content cannot be renamed over
  std::string err;
  {
    ReplacementFile replacement(Path("d"));
    ASSERT_TRUE(replacement.Create(&err)) << err;
    ASSERT_TRUE(replacement.Write("new\n", 0644, &err)) << err;
    EXPECT_FALSE(replacement.Commit(&err));
    EXPECT_EQ(errno, EISDIR);
  }
  EXPECT_EQ(Get("d/x"), "inside\n");
  EXPECT_EQ(Names(), std::vector<std::string>{"d"});
}

TEST(NewFileModeTest, IsGroupWritableLessTheMaskAndKeepsTheMask) {
  mode_t old_mask = umask(027);
  EXPECT_EQ(NewFileMode(), 0640u);
  EXPECT_EQ(umask(old_mask), 027u);
}

}  // namespace
