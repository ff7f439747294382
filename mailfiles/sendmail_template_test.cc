#include "mailfiles/sendmail_template.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "mailfiles/text_lines.h"

namespace {

std::string Fill(std::string_view text) {
  return FillSendmailTemplate(text, "/usr/local/quorvane", "qvhost.example.test");
}

struct Case {
  const char* name;
  const char* line;
  const char* expected;
};

class SendmailTemplateLineTest : public testing::TestWithParam<Case> {};

TEST_P(SendmailTemplateLineTest, Fills) { EXPECT_EQ(Fill(GetParam().line), GetParam().expected); }

INSTANTIATE_TEST_SUITE_P(
    Rules, SendmailTemplateLineTest,
    testing::Values(
        Case{"HostNameEndsTheLocalNames", "Cw localhost QVHOSTNAME\n",
             "Cw localhost qvhost.example.test\n"},
        Case{"FolderJoinsTheClassFileName", "FAQVINSFOLDER/etc/VirtualDomains\n",
             "FA/usr/local/quorvane/etc/VirtualDomains\n"},
        Case{"FolderTokenIsLookedForFirst", "QVHOSTNAME QVINSFOLDER\n",
             "QVHOSTNAME /usr/local/quorvane\n"},
        Case{"OnlyTheFirstFolderTokenIsReplaced", "QVINSFOLDER:QVINSFOLDER\n",
             "/usr/local/quorvane:QVINSFOLDER\n"},
        Case{"OnlyTheFirstHostTokenIsReplaced", "QVHOSTNAME QVHOSTNAME\n",
             "qvhost.example.test QVHOSTNAME\n"},
        Case{"TokenAtTheEndOfALineWithoutLineFeed", "P=QVINSFOLDER", "P=/usr/local/quorvane\n"},
        Case{"PartialTokenIsKept", "QVINSFOLDE QVHOSTNAM\n", "QVINSFOLDE QVHOSTNAM\n"},
        Case{"EmptyLinesAreDropped", "a\n\n\nb\n\n", "a\nb\n"},
        Case{"BlankLineIsNotEmpty", " \n\t\n", " \n\t\n"},
        Case{"MailerLineKeepsItsTabs",
             "Mvirtual,\tP=QVINSFOLDER/bin/vdeliver, F=lsDFMShP, S=10, R=20/40,\n",
             "Mvirtual,\tP=/usr/local/quorvane/bin/vdeliver, F=lsDFMShP, S=10, R=20/40,\n"}),
    [](const testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

TEST(SendmailTemplateTest, EmptyHostNameLeavesTheLineEndingInABlank) {
  EXPECT_EQ(FillSendmailTemplate("Cw localhost QVHOSTNAME\n", "/q", ""), "Cw localhost \n");
}

TEST(SendmailTemplateTest, LongLinesAreCarriedWhole) {
  const std::string long_line = "#" + std::string(3000, 'x') + "QVHOSTNAME";
  EXPECT_EQ(Fill(long_line + "\n"), "#" + std::string(3000, 'x') + "qvhost.example.test\n");
}

// The packaged template itself.
class PackagedTemplateTest : public testing::Test {
 protected:
  void SetUp() override {
    std::ifstream in(QV_SENDMAIL_TEMPLATE);
    ASSERT_TRUE(in) << QV_SENDMAIL_TEMPLATE;
    std::stringstream text;
    text << in.rdbuf();
    text_ = text.str();
    for (std::string_view line : SplitLines(text_)) lines_.emplace_back(line);
  }
  size_t IndexOf(const std::string& line) const {
    for (size_t i = 0; i < lines_.size(); ++i)
      if (lines_[i] == line) return i;
    return std::string::npos;
  }
  std::string text_;
  std::vector<std::string> lines_;
};

TEST_F(PackagedTemplateTest, HoldsTheLinesThatTieSendmailToTheServer) {
  for (const char* line : {
           "V8/Berkeley",
           "Cw localhost QVHOSTNAME",
           "FAQVINSFOLDER/etc/VirtualDomains",
           "R$* < @ $=A > $*\t\t$: $1 < @ $2 . > $3",
           "Sremovelocal",
           "R$*<@$=A>$*\t\t\t\t$: $>removelocal $>3 $1 $3",
           "R$*<@$=A.>$*\t\t\t$: $>removelocal $>3 $1 $3",
           "Mvirtual,\tP=QVINSFOLDER/bin/vdeliver, F=lsDFMShP, S=10, R=20/40,",
           "\t\tA=vdeliver $u $h",
       })
    EXPECT_NE(IndexOf(line), std::string::npos) << line;
  EXPECT_EQ(IndexOf("Mvirtual,\tP=QVINSFOLDER/bin/vdeliver, F=lsDFMShP, S=10, R=20/40,") + 1,
            IndexOf("\t\tA=vdeliver $u $h"));
}

TEST_F(PackagedTemplateTest, RulesetZeroStartsWithTheVirtualDomains) {
  const size_t s0 = IndexOf("S0");
  ASSERT_NE(s0, std::string::npos);
  size_t first = s0 + 1;
  while (first < lines_.size() && (lines_[first].empty() || lines_[first][0] == '#')) ++first;
  ASSERT_LT(first + 1, lines_.size());
  EXPECT_EQ(lines_[first], "R$*<@$=A>\t$#virtual $@ $2 $: $1");
  EXPECT_EQ(lines_[first + 1], "R$*<@$=A.>\t$#virtual $@ $2 $: $1");
}

TEST_F(PackagedTemplateTest, CanonicalRuleForVirtualDomainsIsInRulesetThree) {
  const size_t s3 = IndexOf("S3");
  const size_t rule = IndexOf("R$* < @ $=A > $*\t\t$: $1 < @ $2 . > $3");
  ASSERT_NE(s3, std::string::npos);
  ASSERT_NE(rule, std::string::npos);
  EXPECT_LT(s3, rule);
  for (size_t i = s3 + 1; i < rule; ++i) EXPECT_NE(lines_[i][0], 'S') << lines_[i];
}

TEST_F(PackagedTemplateTest, TokensAppearOnlyWhereTheyAreFilledIn) {
  const std::string filled = Fill(text_);
  EXPECT_EQ(filled.find("QVINSFOLDER"), std::string::npos);
  EXPECT_EQ(filled.find("QVHOSTNAME"), std::string::npos);
  EXPECT_NE(filled.find("\nFA/usr/local/quorvane/etc/VirtualDomains\n"), std::string::npos);
  EXPECT_NE(filled.find("\nCw localhost qvhost.example.test\n"), std::string::npos);
  for (const std::string& line : lines_) EXPECT_LE(line.size(), 1022u);
}

}  // namespace
