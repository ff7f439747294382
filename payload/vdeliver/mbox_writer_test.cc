#include "payload/vdeliver/mbox_writer.h"

#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

namespace {

// What the writer puts in a file for `message`, fed in pieces of `piece`
// bytes (so that every boundary falls inside a "From " somewhere).
std::string Written(const std::string& message, size_t piece) {
  int fd = memfd_create("mbox", 0);
  EXPECT_GE(fd, 0);
  MboxWriter writer(fd, "From a@b Mon Dec  7 10:00:00 2026");
  for (size_t at = 0; at < message.size(); at += piece)
    EXPECT_TRUE(writer.Write(message.data() + at, std::min(piece, message.size() - at)));
  EXPECT_TRUE(writer.Finish());
  std::string text(static_cast<size_t>(lseek(fd, 0, SEEK_END)), '\0');
  EXPECT_EQ(pread(fd, text.data(), text.size(), 0), static_cast<ssize_t>(text.size()));
  close(fd);
  return text;
}

}  // namespace

TEST(MboxWriterTest, QuotesFromLinesAndEndsWithABlankLine) {
  const std::string head = "From a@b Mon Dec  7 10:00:00 2026\n";
  const struct {
    std::string message, body;
  } cases[] = {
      {"Subject: x\n\nhello\n", "Subject: x\n\nhello\n\n"},
      {"no final line feed", "no final line feed\n\n"},
      {"", "\n"},
      {"From me\n", ">From me\n\n"},
      {"a\nFrom me\n>From you\n>>From them\n", "a\n>From me\n>>From you\n>>>From them\n\n"},
      {"a\nFrom", "a\nFrom\n\n"},
      {"a\n>>Fro", "a\n>>Fro\n\n"},
      {"a\nFrom ", "a\n>From \n\n"},
      {"Fromage\n From x\n>From\n> From\n", "Fromage\n From x\n>From\n> From\n\n"},
      {"x From y\nFrom\tz\n", "x From y\nFrom\tz\n\n"},
      {"\n\n", "\n\n\n"},
  };
  for (const auto& c : cases) {
    for (size_t piece : {1, 2, 3, 7, 4096}) {
      EXPECT_EQ(Written(c.message, piece), head + c.body) << c.message << " in pieces of " << piece;
    }
  }
}

TEST(MboxWriterTest, FromLineNamesTheSenderOrMailerDaemon) {
  setenv("TZ", "UTC", 1);
  tzset();
  const time_t when = 1796637600;  // 2026-12-07 10:00:00 UTC
  EXPECT_EQ(MboxFromLine("joe@example.test", when),
            "From joe@example.test Mon Dec  7 10:00:00 2026");
  EXPECT_EQ(MboxFromLine("", when), "From MAILER-DAEMON Mon Dec  7 10:00:00 2026");
  EXPECT_EQ(MboxFromLine("a b", when), "From MAILER-DAEMON Mon Dec  7 10:00:00 2026");
}
