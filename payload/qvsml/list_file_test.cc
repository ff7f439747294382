#include "payload/qvsml/list_file.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace {

class ListFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/list_file_test.XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(pattern));
    folder_ = pattern;
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }
  std::string folder_;
};

TEST_F(ListFileTest, ReplacesTheFileKeepingItsModeAndLeavesNothingElse) {
  const std::string path = folder_ + "/example.test";
  std::ofstream(path) << "bob:$6$a\n";
  ASSERT_EQ(0, chmod(path.c_str(), 0604));
  ListFileEdit edit;
  std::string err;
  ASSERT_TRUE(edit.Begin(folder_, "example.test", &err)) << err;
  EXPECT_TRUE(edit.existed());
  EXPECT_EQ("bob:$6$a\n", edit.text());
  ASSERT_TRUE(edit.Commit("bob:$6$a\nann:$6$b\n", 0640, &err)) << err;
  std::ifstream in(path);
  EXPECT_EQ("bob:$6$a\nann:$6$b\n", std::string(std::istreambuf_iterator<char>(in), {}));
  struct stat st;
  ASSERT_EQ(0, stat(path.c_str(), &st));
  EXPECT_EQ(0604u, st.st_mode & 07777);
  EXPECT_EQ(1, std::distance(std::filesystem::directory_iterator(folder_), {}));
}

TEST_F(ListFileTest, CreatesAMissingFileWithTheGivenMode) {
  ListFileEdit edit;
  std::string err;
  ASSERT_TRUE(edit.Begin(folder_, "new.test", &err)) << err;
  EXPECT_FALSE(edit.existed());
  ASSERT_TRUE(edit.Commit("ann:$6$b\n", 0640, &err)) << err;
  struct stat st;
  ASSERT_EQ(0, stat((folder_ + "/new.test").c_str(), &st));
  EXPECT_EQ(0640u, st.st_mode & 07777);
}

TEST_F(ListFileTest, RefusesLinks) {
  const std::string target = folder_ + "/target";
  std::ofstream(target) << "secret\n";
  ASSERT_EQ(0, symlink(target.c_str(), (folder_ + "/linked.test").c_str()));
  ASSERT_EQ(0, symlink(folder_.c_str(), (folder_ + "/folder-link").c_str()));
  ListFileEdit through_file, through_folder;
  std::string err;
  EXPECT_FALSE(through_file.Begin(folder_, "linked.test", &err));
  EXPECT_FALSE(through_folder.Begin(folder_ + "/folder-link", "target", &err));
}

}  // namespace
