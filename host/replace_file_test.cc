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

#include "common/remove_dir.h"

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
