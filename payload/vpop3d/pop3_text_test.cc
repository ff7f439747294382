#include "payload/vpop3d/pop3_text.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "payload/vpop3d/pop3_output.h"

namespace {

struct Result {
  std::string sent;
  uint64_t octets = 0;
};

// Feeds `mailbox` in pieces whose sizes are `cuts` over and over (all at
// once when empty) and returns what goes out.
Result Transform(const std::string& mailbox, const std::vector<size_t>& cuts, bool top = false,
                 uint32_t top_lines = 0) {
  // A file, not a pipe: a pipe would fill up before it is read.
  const int fd = open("/tmp", O_TMPFILE | O_RDWR, 0600);
  EXPECT_GE(fd, 0);
  Pop3Output out(fd);
  Pop3Text text(&out, true);
  if (top) text.StopAfterBodyLines(top_lines);
  size_t at = 0;
  for (size_t i = 0; at < mailbox.size() && !text.done(); ++i) {
    const size_t size =
        cuts.empty() ? mailbox.size() : std::min(cuts[i % cuts.size()], mailbox.size() - at);
    const size_t taken = text.Take(mailbox.data() + at, size);
    EXPECT_EQ(taken, text.done() ? text.taken() - at : size);
    at += size;
  }
  text.Finish();
  EXPECT_TRUE(out.Flush());
  Result result;
  result.octets = text.octets();
  result.sent.resize(static_cast<size_t>(lseek(fd, 0, SEEK_END)));
  EXPECT_EQ(pread(fd, result.sent.data(), result.sent.size(), 0),
            static_cast<ssize_t>(result.sent.size()));
  close(fd);
  return result;
}

// Lines that start with a dot, a message's lines go out with one more.
uint64_t StuffedDots(const std::string& sent) {
  uint64_t dots = sent.rfind(".", 0) == 0 ? 1 : 0;
  for (size_t at = 0; (at = sent.find("\r\n.", at)) != std::string::npos; at += 2) ++dots;
  return dots;
}

struct Case {
  const char* name;
  std::string mailbox, sent;
};

const std::string kLongRun(100000, '>');
const std::string kLongLine(300000, 'x');

// A body of many short lines, some of them ending in CR LF and some whose
// start matters, which counting takes in blocks.
std::string ManyLines(bool as_sent) {
  std::string text = as_sent ? "Subject: x\r\n\r\n" : "Subject: x\n\n";
  for (int i = 0; i < 400; ++i) {
    if (i % 50 == 3)
      text += as_sent ? "From x" : ">From x";
    else if (i % 50 == 9)
      text += as_sent ? ".." : ".";
    else
      text += "line " + std::to_string(i);
    // Every seventh line ends in CR LF in the mailbox too.
    text += as_sent || i % 7 == 0 ? "\r\n" : "\n";
  }
  return text;
}

const Case kCases[] = {
    {"LineFeeds", "a\nb\n", "a\r\nb\r\n"},
    {"CrLfKeptWhole", "a\r\nb\n", "a\r\nb\r\n"},
    {"BareCrKept", "a\rb\n\r\r\n", "a\rb\r\n\r\r\n"},
    {"BlankLines", "\n\n", "\r\n\r\n"},
    {"LastLineWithoutFeed", "a\nb", "a\r\nb\r\n"},
    {"LastLineEndingInCr", "a\r", "a\r\n"},
    {"QuotesComeOff", ">From x\n>>From y\n", "From x\r\n>From y\r\n"},
    {"NotQuoteLines", ">Fro\n>\n>From\n>>F>From x\nF\nFrom\n",
     ">Fro\r\n>\r\n>From\r\n>>F>From x\r\nF\r\nFrom\r\n"},
    {"UnquotedFromLineStays", "From x\n", "From x\r\n"},
    {"QuoteOnlyAtLineStart", "a>From x\n", "a>From x\r\n"},
    {"PrefixCutByTheEnd", ">>Fro", ">>Fro\r\n"},
    {"QuotedEmptyFrom", ">From \r\n", "From \r\n"},
    {"DotsStuffed", ".x\n..\n.\nx.\n", "..x\r\n...\r\n..\r\nx.\r\n"},
    {"QuotedLineIsNoDotLine", ">.x\n>From .\n", ">.x\r\nFrom .\r\n"},
    {"LongQuoteRun", kLongRun + "From x\n" + kLongRun + "\n",
     kLongRun.substr(1) + "From x\r\n" + kLongRun + "\r\n"},
    {"LongLine", kLongLine + "\n." + kLongLine + "\r\n", kLongLine + "\r\n.." + kLongLine + "\r\n"},
    {"ManyLines", ManyLines(false), ManyLines(true)},
};

class Pop3TextTest : public testing::TestWithParam<Case> {};

}  // namespace

TEST_P(Pop3TextTest, SendsTheLinesAsTheClientMustGetThem) {
  const Case& c = GetParam();
  const Result whole = Transform(c.mailbox, {});
  EXPECT_EQ(whole.sent, c.sent);
  EXPECT_EQ(whole.octets, c.sent.size() - StuffedDots(c.sent));
}

// The text is the same wherever the pieces are cut: every cut of the
// short cases, regular cuts of every small size, and the buffer sizes.
TEST_P(Pop3TextTest, CutsChangeNothing) {
  const Case& c = GetParam();
  std::vector<std::vector<size_t>> cuts = {{1},
                                           {2},
                                           {3},
                                           {5},
                                           {7},
                                           {4096},
                                           {Pop3Output::kBufferSize - 1},
                                           {Pop3Output::kBufferSize + 1}};
  if (c.mailbox.size() < 64) {
    for (size_t first = 1; first < c.mailbox.size(); ++first)
      cuts.push_back({first, c.mailbox.size()});
  }
  for (const std::vector<size_t>& cut : cuts) {
    const Result result = Transform(c.mailbox, cut);
    ASSERT_EQ(result.sent, c.sent) << "cut at " << cut[0];
    ASSERT_EQ(result.octets, c.sent.size() - StuffedDots(c.sent)) << "cut at " << cut[0];
    // Counting alone, as a mailbox is scanned, takes other ways.
    Pop3Text count(nullptr, false);
    for (size_t at = 0; at < c.mailbox.size(); at += cut[0])
      count.Take(c.mailbox.data() + at, std::min(cut[0], c.mailbox.size() - at));
    count.Finish();
    ASSERT_EQ(count.octets(), result.octets) << "counted in pieces of " << cut[0];
  }
}

INSTANTIATE_TEST_SUITE_P(Lines, Pop3TextTest, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<Case>& info) { return info.param.name; });

TEST(Pop3TextTopTest, StopsAfterTheHeaderAndTheLinesAsked) {
  const std::string message = "Subject: x\r\n\r\n" + kLongLine + "\nsecond\n.third\n";
  const struct {
    uint32_t lines;
    std::string sent;
  } cases[] = {
      {0, "Subject: x\r\n\r\n"},
      {1, "Subject: x\r\n\r\n" + kLongLine + "\r\n"},
      {2, "Subject: x\r\n\r\n" + kLongLine + "\r\nsecond\r\n"},
      {3, "Subject: x\r\n\r\n" + kLongLine + "\r\nsecond\r\n..third\r\n"},
      {9, "Subject: x\r\n\r\n" + kLongLine + "\r\nsecond\r\n..third\r\n"},
  };
  for (const auto& c : cases) {
    for (size_t cut : {size_t{1}, size_t{3}, Pop3Output::kBufferSize}) {
      EXPECT_EQ(Transform(message, {cut}, true, c.lines).sent, c.sent) << c.lines << " cut " << cut;
    }
  }
  // No blank line: all of it is header.
  EXPECT_EQ(Transform("a\nb", {}, true, 0).sent, "a\r\nb\r\n");
}

TEST(Pop3TextFromLineTest, StopsAtAnUnquotedFromLineWhereverItIsCut) {
  const std::string mailbox = "a\n>From b\n\nFrom c\n";
  for (size_t cut = 1; cut <= mailbox.size(); ++cut) {
    Pop3Text text(nullptr, false);
    text.StopAtFromLine();
    for (size_t at = 0; at < mailbox.size() && !text.done(); at += cut)
      text.Take(mailbox.data() + at, std::min(cut, mailbox.size() - at));
    ASSERT_TRUE(text.done()) << cut;
    EXPECT_EQ(text.line_start(), 11u) << cut;
    EXPECT_EQ(text.taken(), 16u) << cut;
    EXPECT_TRUE(text.last_line_blank()) << cut;
    EXPECT_EQ(text.blank_line_start(), 10u) << cut;
    // "a", "From b" and the blank line, as sent.
    EXPECT_EQ(text.octets(), 13u) << cut;
    EXPECT_EQ(text.octets_before_blank_line(), 11u) << cut;
  }
}
