#pragma once

// A locked mbox mailbox as a POP3 session sees it: the messages found in
// it, what the client marked for deletion, and the update at QUIT.

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

#include "payload/vpop3d/pop3_output.h"
#include "payload/vpop3d/region_reader.h"

struct MaildropMessage {
  off_t start = 0;        // its "From " line
  off_t body = 0;         // the first byte after that line
  off_t content_end = 0;  // before the blank line that ends it in the file
  off_t end = 0;          // where the next message (or the file) starts
  uint64_t octets = 0;    // its size as sent: CR LF line ends, quoting undone
  bool deleted = false;
};

class Maildrop {
 public:
  // Reads the mailbox in pieces of `read_size` bytes (tests cut it small).
  explicit Maildrop(size_t read_size = RegionReader::kBufferSize) : read_size_(read_size) {}

  // Finds the messages of the mailbox open as `fd` (kept, not owned) and
  // their sizes, reading it once.
  bool Scan(int fd, std::string* err);

  std::vector<MaildropMessage>& messages() { return messages_; }
  // The message numbered `number` (from 1), unless missing or deleted.
  MaildropMessage* Find(uint32_t number);

  // The unique ids of the messages, by index: a hash of each message's
  // bytes, so that a message keeps its id from session to session. They
  // are worked out when first asked for, which reads the mailbox again;
  // false when it cannot be read.
  bool Uids(const std::vector<std::string>** uids);

  // Sends the message as a multi-line answer body, ended by ".": all of it,
  // or when `top` its header and the first `top_lines` lines of its body;
  // what is left in `out` waits for its next flush. False when the mailbox
  // or the connection fails part-way.
  bool Send(const MaildropMessage& message, bool top, uint32_t top_lines, Pop3Output* out);

  // Writes the messages not deleted (and anything found after them) to a
  // new file beside the mailbox and renames it over `user` in `domain_fd`.
  bool Commit(int domain_fd, const std::string& user, std::string* err);

 private:
  size_t read_size_;
  int fd_ = -1;
  off_t scanned_end_ = 0;
  std::vector<MaildropMessage> messages_;
  std::vector<std::string> uids_;  // empty until asked for
};
