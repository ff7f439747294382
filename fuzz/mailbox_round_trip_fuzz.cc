// Properties of the mail path from delivery to POP3: messages written into
// a mailbox as vdeliver writes them, found and sent as vpop3d finds and
// sends them, come back as they were sent, whatever the pieces the writer
// gets and the reader reads; LIST's octets are what RETR sends; TOP sends
// the header and the lines asked for. The pieces are small, so that they
// end inside quotes, "From " words, dot lines and CR LF pairs.

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "payload/vdeliver/mbox_writer.h"
#include "payload/vpop3d/maildrop.h"
#include "payload/vpop3d/pop3_output.h"
#include "tests/pop3_client_view.h"

namespace {

std::string ReadAll(int fd) {
  std::string text(static_cast<size_t>(lseek(fd, 0, SEEK_END)), '\0');
  FUZZ_CHECK(pread(fd, text.data(), text.size(), 0) == static_cast<ssize_t>(text.size()));
  return text;
}

// The message as a client stores it: every line ended by a line feed. A
// CR LF the mailbox holds goes out as it is, so the client sees a line
// feed there too.
std::string Fetched(const std::string& message) {
  const std::string ended = AsFetched(message);
  std::string fetched;
  for (size_t i = 0; i < ended.size(); ++i) {
    if (!(ended[i] == '\r' && i + 1 < ended.size() && ended[i + 1] == '\n')) fetched += ended[i];
  }
  return fetched;
}

std::string Sent(Maildrop& maildrop, const MaildropMessage& message, bool top, uint32_t lines) {
  const int fd = memfd_create("sent", 0);
  FUZZ_CHECK(fd >= 0);
  Pop3Output out(fd);
  FUZZ_CHECK(maildrop.Send(message, top, lines, &out) && out.Flush());
  std::string sent = ReadAll(fd);
  close(fd);
  return sent;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider provider(data, size);
  const size_t read_size = provider.ConsumeIntegralInRange<size_t>(1, 300);
  const size_t write_size = provider.ConsumeIntegralInRange<size_t>(1, 300);
  const uint32_t top_lines = provider.ConsumeIntegralInRange<uint32_t>(0, 4);
  std::vector<std::string> messages(provider.ConsumeIntegralInRange<size_t>(1, 4));
  for (size_t i = 0; i + 1 < messages.size(); ++i)
    messages[i] = provider.ConsumeRandomLengthString(4096);
  messages.back() = provider.ConsumeRemainingBytesAsString();

  const int fd = memfd_create("mailbox", 0);
  FUZZ_CHECK(fd >= 0);
  for (const std::string& message : messages) {
    MboxWriter writer(fd, "From sender@example.test Mon Dec  7 10:00:00 2026");
    for (size_t at = 0; at < message.size(); at += write_size)
      FUZZ_CHECK(writer.Write(message.data() + at, std::min(write_size, message.size() - at)));
    FUZZ_CHECK(writer.Finish());
  }

  Maildrop maildrop(read_size);
  std::string err;
  FUZZ_CHECK(maildrop.Scan(fd, &err));
  FUZZ_CHECK(maildrop.messages().size() == messages.size());
  for (size_t i = 0; i < messages.size(); ++i) {
    const MaildropMessage& message = maildrop.messages()[i];
    const std::string fetched = Fetched(messages[i]);
    std::string text, top;
    uint64_t octets = 0, top_octets = 0;
    const std::string sent = Sent(maildrop, message, false, 0);
    size_t at = 0;
    FUZZ_CHECK(ReadAnswerBody(sent, &at, &text, &octets) && at == sent.size());
    FUZZ_CHECK(text == fetched);
    FUZZ_CHECK(octets == message.octets);
    const std::string top_sent = Sent(maildrop, message, true, top_lines);
    at = 0;
    FUZZ_CHECK(ReadAnswerBody(top_sent, &at, &top, &top_octets) && at == top_sent.size());
    FUZZ_CHECK(top == TopOf(fetched, top_lines));
  }
  close(fd);
  return 0;
}
