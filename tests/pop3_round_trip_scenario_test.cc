// Random mailboxes through the real programs: each message is delivered by
// the installed vdeliver, then fetched from the installed vpop3d, and must
// come back as it was sent, byte for byte, with LIST and STAT giving the
// octets that RETR sends. Message sizes fall around every buffer size of
// both programs, and lines that matter (quoted "From " lines, dot lines,
// CRs, runs of ">", lines longer than every buffer) are put across the
// places where those buffers end.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "payload/vpop3d/pop3_output.h"
#include "payload/vpop3d/region_reader.h"
#include "sandbox/sandbox.h"
#include "tests/installer_run.h"
#include "tests/pop3_client_view.h"

namespace {

constexpr char kWork[] = "/var/tmp/qvtest";
// The published SHA-crypt test vector: the password "Hello world!".
constexpr char kHash[] =
    "$6$saltstring$svn8UoSVapNtMuq1ukKS4tPQd8iKwSMHWjl/O817G3uBnIFNjnQJuesI68u4OTLiBFdcbYEdFCoEOf"
    "aS35inz1";
constexpr char kEnvelope[] = "From sender@qvhost.example.test Mon Dec  7 10:00:00 2026\n";
// vdeliver reads and writes by 64 KiB; vpop3d reads by RegionReader's
// buffer and writes by Pop3Output's.
constexpr size_t kSmallestBuffer = 64 * 1024;
static_assert(Pop3Output::kBufferSize % kSmallestBuffer == 0 &&
              RegionReader::kBufferSize % kSmallestBuffer == 0);
constexpr size_t kLargestBuffer = RegionReader::kBufferSize;

// Messages as a sender may write them, with line feeds for line ends: a
// CR is never the last byte of a line, which POP3 could not tell apart
// from its own line end.
class MessageMaker {
 public:
  explicit MessageMaker(uint64_t seed) : random_(seed) {}

  // A message of exactly `size` bytes.
  std::string Message(size_t size) {
    std::string text;
    while (text.size() < size) {
      // A line that matters right where a buffer ends, now and then.
      const size_t to_boundary = kSmallestBuffer - text.size() % kSmallestBuffer;
      const size_t pick = Pick(100);
      if (to_boundary <= 8 && pick < 60)
        text += SpecialLine();
      else if (pick < 2)
        text += LongLine();
      else if (pick < 40)
        text += SpecialLine();
      else
        text += Text(Pick(100));
      text += '\n';
    }
    text.resize(size);
    if (!text.empty() && text.back() == '\r') text.back() = 'x';
    return text;
  }

  // A size around a buffer size, or any size.
  size_t Size() {
    switch (Pick(6)) {
      case 0:
        return Pick(3);
      case 1:
        return Pick(6000);
      case 2:
        return kLargestBuffer * 2 + Pick(100000);
      default:
        return (1 + Pick(4)) * kSmallestBuffer + Pick(9) - 4;
    }
  }

  size_t Pick(size_t n) { return static_cast<size_t>(random_() % n); }

 private:
  std::string Quotes() { return std::string(1 + Pick(3), '>'); }

  // Printable text with now and then a CR inside, dots, quotes and "From".
  std::string Text(size_t length) {
    static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyz .>F\t";
    std::string text;
    for (size_t i = 0; i < length; ++i) {
      const size_t pick = Pick(200);
      text += pick == 0 && i + 1 < length ? '\r' : kLetters[pick % (sizeof kLetters - 1)];
    }
    return text;
  }

  std::string SpecialLine() {
    switch (Pick(12)) {
      case 0:
        return "From " + Text(Pick(40));
      case 1:
        return Quotes() + "From " + Text(Pick(40));
      case 2:
        return ".";
      case 3:
        return "." + Text(Pick(40));
      case 4:
        return "..";
      case 5:
        return Quotes() + "Fro";
      case 6:
        return Quotes();
      case 7:
        return "";
      case 8:
        return "a\rb";
      case 9:
        return ">From";
      case 10:
        return "From";
      default:
        return "F" + Text(Pick(4));
    }
  }

  // Longer than a buffer, around a buffer's size, or a run of ">" as long.
  std::string LongLine() {
    const size_t length = (1 + Pick(3)) * kSmallestBuffer + Pick(9) - 4;
    if (Pick(3) == 0) return std::string(length, '>') + "From " + Text(Pick(9));
    return Text(length);
  }

  std::mt19937_64 random_;
};

// A POP3 session's answers, read the way a client reads them.
class Answers {
 public:
  explicit Answers(std::string text) : text_(std::move(text)) {}

  // The first line of the next answer.
  std::string Status() {
    std::string line;
    return NextAnswerLine(text_, &at_, &line) ? line : "(nothing)";
  }
  // The body of a multi-line answer; see ReadAnswerBody.
  bool Body(std::string* body, uint64_t* octets) {
    return ReadAnswerBody(text_, &at_, body, octets);
  }

 private:
  std::string text_;
  size_t at_ = 0;
};

struct Mailbox {
  std::string user;
  std::vector<std::string> messages;
  std::vector<size_t> top_lines;
};

constexpr uint64_t kSeeds[] = {1, 2, 3, 5, 8, 13, 21, 34, 55, 89, 144, 233, 377, 610};

}  // namespace

TEST(Pop3RoundTripTest, RandomMailboxesComeBackByteForByte) {
  Sandbox sandbox;
  SeedMailHostWithGroups(sandbox);
  const std::string work = kWork;
  std::string users, script = "set -e\necho example.test >> " + InFolder("/etc/VirtualDomains") +
                              "\ninstall -m 0640 " + work + "/users /etc/vmail/example.test\n";
  std::vector<Mailbox> mailboxes;
  for (uint64_t seed : kSeeds) {
    MessageMaker maker(seed);
    Mailbox mailbox;
    mailbox.user = "user" + std::to_string(seed);
    users += mailbox.user + ":" + kHash + "\n";
    const std::string folder = work + "/" + mailbox.user;
    std::string commands = "USER " + mailbox.user + "@example.test\r\nPASS Hello world!\r\n";
    commands += "STAT\r\nLIST\r\nUIDL\r\n";
    const size_t count = 1 + maker.Pick(5);
    for (size_t i = 1; i <= count; ++i) {
      mailbox.messages.push_back(maker.Message(maker.Size()));
      mailbox.top_lines.push_back(maker.Pick(4));
      const std::string file = folder + "/" + std::to_string(i);
      sandbox.Seed(file, kEnvelope + mailbox.messages.back());
      // The first comes through a pipe that gives the envelope line in two
      // pieces, as a pipe may.
      const std::string input =
          i == 1 ? "{ head -c 9 " + file + "; sleep 0.05; tail -c +10 " + file + "; } | "
                 : std::string();
      script += input + InFolder("/bin/vdeliver") + " " + mailbox.user + " example.test" +
                (i == 1 ? std::string() : " < " + file) + "\n";
      commands += "RETR " + std::to_string(i) + "\r\nTOP " + std::to_string(i) + " " +
                  std::to_string(mailbox.top_lines.back()) + "\r\n";
    }
    sandbox.Seed(folder + "/commands", commands + "QUIT\r\n");
    // A pipe, as a client's connection is: the reader before the login may
    // not write to a file.
    script += InFolder("/bin/vpop3d") + " ipop3d < " + folder + "/commands | cat > " + folder +
              "/answers\n";
    mailboxes.push_back(mailbox);
  }
  sandbox.Seed(work + "/users", users, 0600);
  ASSERT_EQ(RunInstaller(sandbox, AnswersUpToAddress(MailPart::kGroupPresent) + kAddress + "n\n")
                .exit_status,
            0);
  RunOptions options;
  options.timeout_seconds = 240;
  RunResult run = RunScript(sandbox, script, options);
  ASSERT_EQ(run.exit_status, 0) << run.output;

  for (const Mailbox& mailbox : mailboxes) {
    SCOPED_TRACE(mailbox.user);
    Answers answers(sandbox.ReadAfter(work + "/" + mailbox.user + "/answers").value_or(""));
    const size_t count = mailbox.messages.size();
    EXPECT_EQ(answers.Status(), "+OK POP3 server ready");
    EXPECT_EQ(answers.Status(), "+OK send your password");
    EXPECT_EQ(answers.Status(),
              "+OK " + mailbox.user + "@example.test has " + std::to_string(count) + " messages");
    uint64_t total = 0;
    for (const std::string& message : mailbox.messages) {
      const std::string fetched = AsFetched(message);
      total +=
          fetched.size() + static_cast<uint64_t>(std::count(fetched.begin(), fetched.end(), '\n'));
    }
    EXPECT_EQ(answers.Status(), "+OK " + std::to_string(count) + " " + std::to_string(total));
    std::string list, uidl;
    uint64_t unused;
    EXPECT_EQ(answers.Status(), "+OK");
    ASSERT_TRUE(answers.Body(&list, &unused));
    EXPECT_EQ(answers.Status(), "+OK");
    ASSERT_TRUE(answers.Body(&uidl, &unused));
    EXPECT_EQ(static_cast<size_t>(std::count(uidl.begin(), uidl.end(), '\n')), count);
    std::string expected_list;
    for (size_t i = 0; i < count; ++i) {
      SCOPED_TRACE("message " + std::to_string(i + 1));
      const std::string want = AsFetched(mailbox.messages[i]);
      std::string got, top;
      uint64_t octets = 0, top_octets = 0;
      const std::string status = answers.Status();
      ASSERT_TRUE(answers.Body(&got, &octets)) << status;
      EXPECT_EQ(status, "+OK " + std::to_string(octets) + " octets");
      EXPECT_TRUE(got == want) << DescribeDifference(got, want);
      expected_list += std::to_string(i + 1) + " " + std::to_string(octets) + "\n";
      EXPECT_EQ(answers.Status(), status);
      ASSERT_TRUE(answers.Body(&top, &top_octets));
      const std::string want_top = TopOf(want, mailbox.top_lines[i]);
      EXPECT_TRUE(top == want_top)
          << "TOP " << mailbox.top_lines[i] << ": " << DescribeDifference(top, want_top);
    }
    EXPECT_EQ(list, expected_list);
    EXPECT_EQ(answers.Status(), "+OK bye");
  }
}
