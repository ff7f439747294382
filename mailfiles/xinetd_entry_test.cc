#include "mailfiles/xinetd_entry.h"

#include <gtest/gtest.h>

namespace {

constexpr char kServer[] = "\tserver\t\t\t\t= /usr/local/quorvane/bin/vpop3d\n";
constexpr char kServerArgs[] =
    "\tserver_args\t\t\t= /usr/sbin/ipop3d\n"
    "\tper_source\t\t= 4\n";
constexpr char kDisable[] = "\tdisable\t\t= no\n";

std::string Transform(std::string_view entry) {
  return TransformXinetdEntry(entry, "/usr/local/quorvane");
}

TEST(XinetdEntryTest, TypicalEntryGetsTheWrapperAndIsEnabled) {
  const std::string entry =
      "# default: off\n"
      "service pop3\n"
      "{\n"
      "\tsocket_type\t\t= stream\n"
      "\twait\t\t\t= no\n"
      "\tuser\t\t\t= root\n"
      "\tserver\t\t\t= /usr/sbin/ipop3d\n"
      "\tlog_on_success\t\t+= HOST DURATION\n"
      "\tlog_on_failure\t\t+= HOST\n"
      "\tdisable\t\t\t= yes\n"
      "}\n";
  EXPECT_EQ(Transform(entry), std::string("# default: off\n"
                                          "service pop3\n"
                                          "{\n"
                                          "\tsocket_type\t\t= stream\n"
                                          "\twait\t\t\t= no\n"
                                          "\tuser\t\t\t= root\n") +
                                  kServer + kServerArgs +
                                  "\tlog_on_success\t\t+= HOST DURATION\n"
                                  "\tlog_on_failure\t\t+= HOST\n" +
                                  kDisable + "}\n");
}

struct Case {
  const char* name;
  const char* entry;
  std::string expected;
};

class XinetdEntryRuleTest : public testing::TestWithParam<Case> {};

TEST_P(XinetdEntryRuleTest, Transforms) {
  EXPECT_EQ(Transform(GetParam().entry), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, XinetdEntryRuleTest,
    testing::Values(
        Case{"ServerArgsAfterServerIsDropped",
             "{\n\tserver = /usr/sbin/ipop3d\n\tserver_args = -x\n}\n",
             std::string("{\n") + kServer + kServerArgs + "}\n"},
        Case{"PerSourceLimitIsOurs", "{\n\tper_source = 50\n\tserver = /usr/sbin/ipop3d\n}\n",
             std::string("{\n") + kServer + kServerArgs + "}\n"},
        Case{"ServerArgsBeforeServerTakesTheServerRule",
             "\tserver_args = -x\n\tserver = /usr/sbin/ipop3d\n",
             std::string(kServer) + kServerArgs + "\tserver = /usr/sbin/ipop3d\n"},
        Case{"NoServerLineWritesNoServerLines", "{\n\tdisable = yes\n}\n",
             std::string("{\n") + kDisable + "}\n"},
        Case{"CommentNamingServerTakesTheServerRule",
             "# the server is ipop3d\n\tserver = /usr/sbin/ipop3d\n",
             std::string(kServer) + kServerArgs + "\tserver = /usr/sbin/ipop3d\n"},
        Case{"CommentNamingDisableBecomesTheDisableLine", "# disable it by default\n", kDisable},
        Case{"UpperCaseDisableBecomesTheDisableLine", "\tDISABLE = yes\n", kDisable},
        Case{"CaseMattersForServer", "\tSERVER = x\n\tDisable = yes\n",
             "\tSERVER = x\n\tDisable = yes\n"},
        Case{"LineWithServerAndDisableTakesTheServerRuleFirst", "server_disable\ndisable\n",
             std::string(kServer) + kServerArgs + kDisable},
        Case{"EveryDisableLineIsRewritten", "disable = yes\ndisable = yes\n",
             std::string(kDisable) + kDisable},
        Case{"EmptyLinesAreKept", "{\n\n}\n", "{\n\n}\n"},
        Case{"LastLineGetsItsLineFeed", "{\n}", "{\n}\n"}, Case{"EmptyFileStaysEmpty", "", ""}),
    [](const testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

TEST(XinetdEntryTest, RewritingTwiceGivesTheSameEntry) {
  const std::string once = Transform("{\n\tserver = /usr/sbin/ipop3d\n\tdisable = yes\n}\n");
  EXPECT_EQ(Transform(once), once);
}

TEST(XinetdEntryTest, InstallationFolderGoesIntoTheServerLine) {
  EXPECT_EQ(TransformXinetdEntry("server\n", "/opt/q v"),
            "\tserver\t\t\t\t= /opt/q v/bin/vpop3d\n" + std::string(kServerArgs));
}

}  // namespace
