#include "deploy/address.h"

#include <errno.h>
#include <gtest/gtest.h>

#include <sstream>

#include "base/console.h"

namespace {

constexpr char kFirstPrompt[] = "Enter IP address of your windows Quorvane machine: ";
constexpr char kWrong[] =
    "\nWrong IP address\nEnter valid IP address of your windows Quorvane machine: ";

TEST(AddressTest, AcceptedAnswersAndHowTheyAreWritten) {
  struct Case {
    const char* answer;
    const char* written;
  };
  const Case kAccepted[] = {
      {"192.168.0.1", "192.168.0.1"},
      {"010.001.000.009", "10.1.0.9"},  // decimal, not octal
      {"10.254.0.1", "10.254.0.1"},
      {"1.0.0.1", "1.0.0.1"},
      {"254.254.254.254", "254.254.254.254"},
      {"1.2.3.4.5", "1.2.3.4"},  // the fourth part ends at its first non-digit
      {"1.2.3.4.", "1.2.3.4"},
      {"1.2.3.4..9", "1.2.3.4"},
      {"1.2.3.0004", "1.2.3.4"},
      {"1.000000000000000000000.3.4", "1.0.3.4"},
  };
  for (const Case& c : kAccepted) {
    uint8_t parts[4] = {};
    ASSERT_TRUE(ParseAddress(c.answer, parts)) << c.answer;
    EXPECT_EQ(FormatAddress(parts), c.written) << c.answer;
  }
}

TEST(AddressTest, RefusedAnswers) {
  const char* const kRefused[] = {
      "10.0.0.255",
      "255.1.1.1",
      "10.255.0.1",
      "1.2.255.4",
      "0.1.2.3",
      "1.2.3.0",
      "1.2.3",
      "1.2.3.",
      ".1.2.3",
      "1..2.3.4",
      "1.2.3..4",
      " 1.2.3.4",
      "1.2.3.4 ",
      "",
      "+1.2.3.4",
      "-1.2.3.4",
      "1.2.3.-4",
      "1.2.3.4\r",
      "a.b.c.d",
      "1.2.3.4x",
      "1,2,3,4",
      "...",
      "1.2.3.1000",
      "99999999999999999999.1.1.1",
      "1.1.1.99999999999999999999999999999999",
      "00.1.1.1",
      "1.1.1.00",
      "1.1.1.0.5",
  };
  for (const char* answer : kRefused) {
    uint8_t parts[4] = {7, 7, 7, 7};
    EXPECT_FALSE(ParseAddress(answer, parts)) << '"' << answer << '"';
    EXPECT_EQ(FormatAddress(parts), "7.7.7.7") << "refused answer changed the parts: " << answer;
  }
}

struct Dialogue {
  explicit Dialogue(const std::string& answers) : in(answers), console(in, out) {}
  std::istringstream in;
  std::ostringstream out;
  Console console;
};

TEST(AddressTest, DialogueAsksAgainUntilAccepted) {
  Dialogue d("\n1.2.3\n255.1.1.1\n 1.2.3.4\n" + std::string(1023, '1') +
             "\n010.001.000.009\nnext\n");
  uint8_t parts[4] = {};
  ASSERT_TRUE(AskAddress(d.console, parts));
  EXPECT_EQ(FormatAddress(parts), "10.1.0.9");
  std::string expected = std::string("\n") + kFirstPrompt;
  for (int i = 0; i < 5; ++i) expected += kWrong;
  EXPECT_EQ(d.out.str(), expected);
  std::string rest;
  std::getline(d.in, rest);
  EXPECT_EQ(rest, "next");  // nothing read past the accepted line
}

TEST(AddressTest, FirstAnswerAcceptedPrintsOnlyThePrompt) {
  Dialogue d("192.168.0.1\n");
  uint8_t parts[4] = {};
  ASSERT_TRUE(AskAddress(d.console, parts));
  EXPECT_EQ(d.out.str(), std::string("\n") + kFirstPrompt);
  EXPECT_EQ(FormatAddress(parts), "192.168.0.1");
}

TEST(AddressTest, EndOfInputEndsTheDialogue) {
  for (const char* answers : {"", "1.2.3\n", "0.0.0.0\n\n"}) {
    Dialogue d(answers);
    uint8_t parts[4] = {};
    errno = 0;
    EXPECT_FALSE(AskAddress(d.console, parts)) << answers;
    EXPECT_EQ(errno, ENODATA);
    const std::string out = d.out.str();
    ASSERT_FALSE(out.empty());
    EXPECT_EQ(out.back(), '\n') << "the prompt line is closed";
    EXPECT_EQ(out.substr(out.size() - 3), ": \n");
  }
}

}  // namespace
