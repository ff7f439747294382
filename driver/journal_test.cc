#include "driver/journal.h"

#include <gtest/gtest.h>

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
