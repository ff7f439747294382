#include "base/journaled_files.h"

#include <errno.h>
#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <fstream>
#include <sstream>
#include <string>

#include "common/remove_dir.h"

namespace {

class JournaledFilesTest : public testing::Test {
 protected:
  void SetUp() override {
    char name[] = "/tmp/qv-journaled-XXXXXX";
    ASSERT_NE(mkdtemp(name), nullptr);
    dir_ = name;
  }
  void TearDown() override { RemoveDir(dir_.c_str()); }

  std::string Path(const std::string& name) const { return dir_ + "/" + name; }
  static std::string Get(const std::string& path) {
    std::ifstream in(path);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
  }

  std::string dir_;
  InstallJournal journal_;
};

TEST_F(JournaledFilesTest, BackUpAndReplaceRecordsWhatTheRollbackPutsBack) {
  const std::string file = Path("inetd.conf");
  std::ofstream(file) << "old\n";
  std::string err;
  ASSERT_TRUE(BackUpAndReplace(file, "new\n", 0644, journal_, &err)) << err;
  EXPECT_EQ(Get(file), "new\n");
  EXPECT_EQ(Get(file + ".qvbackup"), "old\n");

  const InstallJournal::Backup* backup = journal_.BackupOf(file);
  ASSERT_NE(backup, nullptr);
  EXPECT_TRUE(backup->older.empty());
  // The file was replaced after its copy was made: the backup is what goes back.
  EXPECT_FALSE(InstallJournal::StillTheFileBackedUp(*backup));
  EXPECT_FALSE(journal_.WasCreated(file));

  const auto set_aside = journal_.TakeSetAside();
  ASSERT_EQ(set_aside.size(), 1u);
  EXPECT_EQ(set_aside[0].path, file);
  EXPECT_EQ(Get(set_aside[0].kept_as), "old\n");
}

TEST_F(JournaledFilesTest, ReplacingNothingRecordsACreatedFile) {
  const std::string file = Path("sendmail.cf");
  std::string err;
  ASSERT_TRUE(ReplaceJournaled(file, "cf\n", 0644, journal_, &err)) << err;
  EXPECT_EQ(Get(file), "cf\n");
  EXPECT_TRUE(journal_.WasCreated(file));
  EXPECT_TRUE(journal_.TakeSetAside().empty());
}

TEST_F(JournaledFilesTest, AFailedBackupRecordsNothingAndReplacesNothing) {
  const std::string file = Path("missing.conf");
  std::string err;
  EXPECT_FALSE(BackUpAndReplace(file, "new\n", 0644, journal_, &err));
  EXPECT_EQ(errno, ENOENT);
  EXPECT_FALSE(err.empty());
  struct stat st;
  EXPECT_NE(lstat(file.c_str(), &st), 0);
  EXPECT_EQ(journal_.BackupOf(file), nullptr);
  EXPECT_FALSE(journal_.WasCreated(file));
  EXPECT_TRUE(journal_.TakeSetAside().empty());
}

TEST_F(JournaledFilesTest, OnlyAFolderThisRunMadeIsRecorded) {
  const std::string made = Path("etc");
  ASSERT_TRUE(MakeFolderJournaled(made, 0755, journal_));
  EXPECT_TRUE(journal_.WasCreated(made));

  const std::string found = Path("log");
  ASSERT_EQ(mkdir(found.c_str(), 0700), 0);
  EXPECT_FALSE(MakeFolderJournaled(found, 0755, journal_));
  EXPECT_EQ(errno, EEXIST);
  EXPECT_FALSE(journal_.WasCreated(found));
}

}  // namespace
