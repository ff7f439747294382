#include "payload/vpop3d/maildrop.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/mman.h>
#include <unistd.h>

#include <filesystem>
#include <vector>

#include "payload/vdeliver/mbox_writer.h"
#include "payload/vpop3d/region_reader.h"

namespace {

std::string ReadAll(int fd) {
  std::string text(static_cast<size_t>(lseek(fd, 0, SEEK_END)), '\0');
  EXPECT_EQ(pread(fd, text.data(), text.size(), 0), static_cast<ssize_t>(text.size()));
  return text;
}

// The message as a POP3 client gets it back: dot-stuffing and CR LF undone.
std::string AsClientReads(const std::string& sent) {
  std::string text;
  size_t start = 0;
  while (start < sent.size()) {
    size_t end = sent.find("\r\n", start);
    std::string line = sent.substr(start, end - start);
    start = end + 2;
    if (line == ".") break;
    if (!line.empty() && line[0] == '.') line.erase(0, 1);
    text += line + "\n";
  }
  return text;
}

// Dots added in front of lines that start with one.
size_t CountDots(const std::string& sent) {
  size_t dots = sent.rfind("..", 0) == 0 ? 1 : 0;
  for (size_t at = 0; (at = sent.find("\r\n..", at)) != std::string::npos; at += 2) ++dots;
  return dots;
}

std::string Sent(Maildrop& maildrop, size_t index, bool top, uint32_t lines) {
  int pipe_fds[2];
  EXPECT_EQ(pipe(pipe_fds), 0);
  Pop3Output out(pipe_fds[1]);
  EXPECT_TRUE(maildrop.Send(maildrop.messages()[index], top, lines, &out));
  EXPECT_TRUE(out.Flush());
  close(pipe_fds[1]);
  std::string sent;
  char chunk[4096];
  for (ssize_t n; (n = read(pipe_fds[0], chunk, sizeof chunk)) > 0;)
    sent.append(chunk, static_cast<size_t>(n));
  close(pipe_fds[0]);
  return sent;
}

class MaildropTest : public testing::Test {
 protected:
  void SetUp() override {
    char name[] = "/tmp/qv_maildrop_test.XXXXXX";
    ASSERT_TRUE(mkdtemp(name));
    dir_ = name;
    dir_fd_ = open(name, O_RDONLY | O_DIRECTORY);
    fd_ = openat(dir_fd_, "alice", O_RDWR | O_CREAT, 0600);
    for (const std::string& message : kMessages) {
      lseek(fd_, 0, SEEK_END);
      MboxWriter writer(fd_, "From x@y Mon Dec  7 10:00:00 2026");
      ASSERT_TRUE(writer.Write(message.data(), message.size()));
      ASSERT_TRUE(writer.Finish());
    }
  }
  void TearDown() override {
    close(fd_);
    close(dir_fd_);
    std::filesystem::remove_all(dir_);
  }

  // As delivered; the last lacks its final line feed, which delivery adds.
  const std::vector<std::string> kMessages = {
      "Subject: one\n\nFrom the start\n>From quoted\n.dot line\n.\n",
      "Subject: two\n\n\n\nblank lines above\n",
      "Subject: three\n\nlast line",
  };
  std::string dir_;
  int dir_fd_ = -1;
  int fd_ = -1;
};

}  // namespace

// Read whole, and read in pieces cut small enough to fall inside every
// "From " line, quote and line end of the mailbox.
TEST_F(MaildropTest, DeliveredMessagesComeBackAsTheyWereSent) {
  for (size_t read_size : {size_t{1}, size_t{2}, size_t{3}, size_t{7}, RegionReader::kBufferSize}) {
    Maildrop maildrop(read_size);
    std::string err;
    ASSERT_TRUE(maildrop.Scan(fd_, &err)) << err;
    ASSERT_EQ(maildrop.messages().size(), kMessages.size());
    for (size_t i = 0; i < kMessages.size(); ++i) {
      const std::string sent = Sent(maildrop, i, false, 0);
      std::string expected = kMessages[i];
      if (expected.back() != '\n') expected += '\n';
      EXPECT_EQ(AsClientReads(sent), expected) << i << " read in " << read_size;
      // The size announced is the size sent, less the final "." line.
      EXPECT_EQ(maildrop.messages()[i].octets + 3, sent.size() - CountDots(sent))
          << i << " read in " << read_size;
    }
  }
}

// Clients that leave mail on the server know messages by these ids: they
// must not change from one version to the next.
TEST_F(MaildropTest, UidsStayAsTheyWere) {
  Maildrop maildrop(3);
  std::string err;
  ASSERT_TRUE(maildrop.Scan(fd_, &err)) << err;
  const std::vector<std::string>* uids = nullptr;
  ASSERT_TRUE(maildrop.Uids(&uids));
  EXPECT_EQ(*uids,
            (std::vector<std::string>{"13e820768abd35ce", "cf51add75e716e7c", "1450158421d67878"}));
}

// A mailbox written by hand: text before the first message, a message that
// is only its "From " line, a last line without a line feed.
TEST(MaildropScanTest, FindsTheMessagesOfAnyMailbox) {
  const struct {
    std::string mailbox;
    std::vector<uint64_t> octets;
  } cases[] = {
      {"", {}},
      {"junk\n\n", {}},
      {"junk\nFrom a\nx\n\nFrom b\ny", {3, 3}},
      {"From a\nFrom b\n\nFrom c", {0, 0, 0}},
      {"From a\n\n\n", {2}},
      {"From a\nx\r\n\r\n", {5}},
  };
  for (const auto& c : cases) {
    for (size_t read_size : {size_t{1}, size_t{4}, RegionReader::kBufferSize}) {
      const int fd = memfd_create("mbox", 0);
      ASSERT_EQ(write(fd, c.mailbox.data(), c.mailbox.size()),
                static_cast<ssize_t>(c.mailbox.size()));
      Maildrop maildrop(read_size);
      std::string err;
      ASSERT_TRUE(maildrop.Scan(fd, &err)) << err;
      std::vector<uint64_t> octets;
      for (const MaildropMessage& message : maildrop.messages()) octets.push_back(message.octets);
      EXPECT_EQ(octets, c.octets) << c.mailbox << " read in " << read_size;
      close(fd);
    }
  }
}

TEST_F(MaildropTest, TopSendsTheHeaderAndTheFirstLines) {
  Maildrop maildrop;
  std::string err;
  ASSERT_TRUE(maildrop.Scan(fd_, &err)) << err;
  EXPECT_EQ(Sent(maildrop, 0, true, 0), "Subject: one\r\n\r\n.\r\n");
  EXPECT_EQ(Sent(maildrop, 0, true, 2),
            "Subject: one\r\n\r\nFrom the start\r\n>From quoted\r\n.\r\n");
  EXPECT_EQ(Sent(maildrop, 1, true, 1), "Subject: two\r\n\r\n\r\n.\r\n");
}

TEST_F(MaildropTest, QuitKeepsTheOtherMessagesByteForByte) {
  const std::string before = ReadAll(fd_);
  Maildrop maildrop;
  std::string err;
  ASSERT_TRUE(maildrop.Scan(fd_, &err)) << err;
  const MaildropMessage first = maildrop.messages()[0], last = maildrop.messages()[2];
  maildrop.Find(2)->deleted = true;
  EXPECT_FALSE(maildrop.Find(2));
  // Appended by a program that does not lock: kept too.
  const std::string late = "From z@y Mon Dec  7 11:00:00 2026\nSubject: late\n\n";
  ASSERT_EQ(pwrite(fd_, late.data(), late.size(), static_cast<off_t>(before.size())),
            static_cast<ssize_t>(late.size()));
  ASSERT_TRUE(maildrop.Commit(dir_fd_, "alice", &err)) << err;

  int now = openat(dir_fd_, "alice", O_RDONLY);
  EXPECT_EQ(ReadAll(now), before.substr(first.start, first.end - first.start) +
                              before.substr(last.start, last.end - last.start) + late);
  close(now);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_),
                          std::filesystem::directory_iterator()),
            1);
}
