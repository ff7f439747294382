#include "payload/vpop3d/pop3_command.h"

#include <gtest/gtest.h>

TEST(Pop3CommandTest, ParsesEachVerbsArguments) {
  const struct {
    std::string line;
    Pop3Verb verb;
    std::string text;
    bool has_number;
    uint32_t number, lines;
  } cases[] = {
      {"USER alice@example.test", Pop3Verb::kUser, "alice@example.test", false, 0, 0},
      {"user bob%example.test", Pop3Verb::kUser, "bob%example.test", false, 0, 0},
      {"PASS two words ", Pop3Verb::kPass, "two words ", false, 0, 0},
      {"STAT", Pop3Verb::kStat, "", false, 0, 0},
      {"LIST", Pop3Verb::kList, "", false, 0, 0},
      {"list 12", Pop3Verb::kList, "", true, 12, 0},
      {"UIDL 3", Pop3Verb::kUidl, "", true, 3, 0},
      {"RETR 1", Pop3Verb::kRetr, "", false, 1, 0},
      {"TOP 2 0", Pop3Verb::kTop, "", false, 2, 0},
      {"TOP 2 999999999", Pop3Verb::kTop, "", false, 2, 999999999},
      {"DELE 7", Pop3Verb::kDele, "", false, 7, 0},
      {"RSET", Pop3Verb::kRset, "", false, 0, 0},
      {"noop", Pop3Verb::kNoop, "", false, 0, 0},
      {"QUIT", Pop3Verb::kQuit, "", false, 0, 0},
      {"CAPA", Pop3Verb::kCapa, "", false, 0, 0},
  };
  for (const auto& c : cases) {
    Pop3Command command;
    std::string err;
    ASSERT_TRUE(ParsePop3Command(c.line, &command, &err)) << c.line << ": " << err;
    EXPECT_EQ(command.verb, c.verb) << c.line;
    EXPECT_EQ(command.text, c.text) << c.line;
    EXPECT_EQ(command.has_number, c.has_number) << c.line;
    EXPECT_EQ(command.number, c.number) << c.line;
    EXPECT_EQ(command.lines, c.lines) << c.line;
  }
}

TEST(Pop3CommandTest, RefusesWhatIsNotACommand) {
  const struct {
    std::string line, err;
  } cases[] = {
      {"", "empty command"},
      {"HELO x", "unknown command"},
      {"APOP a b", "unknown command"},
      {"RETR", "wrong number of arguments for RETR"},
      {"RETR 1 2", "wrong number of arguments for RETR"},
      {"PASS", "wrong number of arguments for PASS"},
      {"USER a b", "wrong number of arguments for USER"},
      {"STAT 1", "wrong number of arguments for STAT"},
      {"TOP 1", "wrong number of arguments for TOP"},
      {"RETR 0", "invalid message number"},
      {"RETR -1", "invalid message number"},
      {"RETR 1x", "invalid message number"},
      {"DELE 4294967297", "invalid message number"},
      {"LIST 9999999999", "invalid message number"},
      {"TOP 1 -1", "invalid message number"},
      {"USER a\tb", "command holds bytes that are not printable text"},
      {std::string("USER a\0b", 8), "command holds bytes that are not printable text"},
      {"USER \xc3\xa9", "command holds bytes that are not printable text"},
      {"USER " + std::string(249, 'a'), "command line too long"},
  };
  for (const auto& c : cases) {
    Pop3Command command;
    std::string err;
    EXPECT_FALSE(ParsePop3Command(c.line, &command, &err)) << c.line;
    EXPECT_EQ(err, c.err) << c.line;
  }
  Pop3Command command;
  std::string err;
  EXPECT_TRUE(ParsePop3Command("USER " + std::string(248, 'a'), &command, &err)) << err;
}
