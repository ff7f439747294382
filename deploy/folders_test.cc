// GCreateFolders without the mail part touches nothing outside the
// installation folder, so it runs here on a scratch folder.

#include <errno.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "base/settings.h"
#include "common/remove_dir.h"
#include "host/files.h"

namespace {

constexpr char kAccessListHead[] =
    "#This file lists the  IP of the hosts which are\n"
    "#allowed to use the Quorvane server.\n"
    "127.0.0.1\n";

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

mode_t ModeOf(const std::string& path) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return 0;
  return st.st_mode & 07777;
}

class FoldersTest : public testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/qvfolders.XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    folder_ = pattern;
  }
  void TearDown() override { RemoveDir(folder_.c_str()); }

  // Runs the stage without the mail part on the scratch folder.
  unsigned char Run(const std::string& answers) { return Run(answers, folder_); }
  unsigned char Run(const std::string& answers, const std::string& ins_folder) {
    in_.str(answers);
    CGeneral settings(console_);
    EXPECT_TRUE(StoreText(settings.InsFolder, ins_folder));
    return settings.GCreateFolders(0);
  }

  std::string folder_;
  std::istringstream in_;
  std::ostringstream out_;
  Console console_{in_, out_};
};

TEST_F(FoldersTest, MakesTheTreeAndWritesTheAccessList) {
  const mode_t old_mask = umask(022);
  EXPECT_EQ(Run("x\n010.001.000.009\n"), 0);
  umask(old_mask);
  for (const char* sub : {"/etc", "/log", "/bin"}) EXPECT_EQ(ModeOf(folder_ + sub), 0755u) << sub;
  EXPECT_EQ(ReadFile(folder_ + "/etc/hosts.allow"), std::string(kAccessListHead) + "10.1.0.9\n");
  EXPECT_EQ(ModeOf(folder_ + "/etc/hosts.allow"), 0644u);
  EXPECT_EQ(out_.str(),
            "\nEnter IP address of your windows Quorvane machine: "
            "\nWrong IP address\nEnter valid IP address of your windows Quorvane machine: ");
  EXPECT_FALSE(PathExists((folder_ + "/etc/VirtualDomains").c_str()));
}

TEST_F(FoldersTest, KeepsAnExistingAccessListAndOpensUpExistingFolders) {
  ASSERT_EQ(mkdir((folder_ + "/etc").c_str(), 0700), 0);
  ASSERT_EQ(mkdir((folder_ + "/bin").c_str(), 0711), 0);
  const std::string kept = "# mine\n10.9.8.7";  // no final newline: must stay so
  std::ofstream(folder_ + "/etc/hosts.allow") << kept;
  EXPECT_EQ(Run(""), 0);
  EXPECT_EQ(out_.str(), "") << "no question when the access list is there";
  EXPECT_EQ(ReadFile(folder_ + "/etc/hosts.allow"), kept);
  EXPECT_EQ(ModeOf(folder_ + "/etc"), 0755u);
  EXPECT_EQ(ModeOf(folder_ + "/bin"), 0755u);
}

TEST_F(FoldersTest, FolderThatCannotBeMadeFailsTheStage) {
  errno = 0;
  EXPECT_EQ(Run("1.2.3.4\n", folder_ + "/missing"), 1);
  EXPECT_EQ(errno, ENOENT);
  EXPECT_EQ(out_.str(), std::string(strerror(ENOENT)) + "\n");
  EXPECT_FALSE(PathExists((folder_ + "/missing").c_str()));
}

TEST_F(FoldersTest, EndOfInputAtTheAddressFailsTheStage) {
  errno = 0;
  EXPECT_EQ(Run("1.2.3\n"), 1);
  EXPECT_EQ(errno, ENODATA);
  EXPECT_FALSE(PathExists((folder_ + "/etc/hosts.allow").c_str()));
  const std::string out = out_.str();
  EXPECT_EQ(out.substr(out.size() - 3), ": \n");
}

}  // namespace
