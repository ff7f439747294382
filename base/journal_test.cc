#include "base/journal.h"

#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <fstream>

namespace {

TEST(JournalTest, CreatedBelowListsOnlyDescendantsNewestFirst) {
  InstallJournal journal;
  journal.Created("/opt/qv");
  journal.Created("/opt/qv/etc");
  journal.Created("/opt/qvx/etc");  // a sibling sharing the prefix is not below
  journal.Created("/opt/qv/etc/hosts.allow");
  EXPECT_EQ(journal.CreatedBelow("/opt/qv"),
            (std::vector<std::string>{"/opt/qv/etc/hosts.allow", "/opt/qv/etc"}));
}

TEST(JournalTest, FirstModeChangeIsTheOneRemembered) {
  InstallJournal journal;
  journal.ModeChanged("/opt/qv", 0700);
  journal.ModeChanged("/opt/qv", 0755);  // a second chmod must not hide the original
  mode_t mode = 0;
  ASSERT_TRUE(journal.OldMode("/opt/qv", &mode));
  EXPECT_EQ(mode, 0700u);
  EXPECT_FALSE(journal.OldMode("/opt/other", &mode));
}

}  // namespace

namespace {

TEST(JournalTest, TellsWhetherTheBackedUpFileWasReplaced) {
  char folder[] = "/tmp/qv-journal-XXXXXX";
  ASSERT_NE(mkdtemp(folder), nullptr);
  const std::string file = std::string(folder) + "/named.conf";
  const std::string other = std::string(folder) + "/named.conf.new";
  std::ofstream(file) << "old\n";
  std::ofstream(other) << "new\n";

  InstallJournal journal;
  journal.BackupMade(file, "");
  const InstallJournal::Backup* backup = journal.BackupOf(file);
  ASSERT_NE(backup, nullptr);
  EXPECT_TRUE(InstallJournal::StillTheFileBackedUp(*backup));  // only copied so far
  std::ofstream(file, std::ios::app) << "edited in place\n";
  EXPECT_TRUE(InstallJournal::StillTheFileBackedUp(*backup));  // same file, whatever it holds
  ASSERT_EQ(rename(other.c_str(), file.c_str()), 0);
  EXPECT_FALSE(InstallJournal::StillTheFileBackedUp(*backup));  // a new file took its place
  EXPECT_EQ(journal.BackupOf(std::string(folder) + "/never-backed-up"), nullptr);

  unlink(file.c_str());
  rmdir(folder);
}

}  // namespace
