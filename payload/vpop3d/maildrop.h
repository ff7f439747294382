#pragma once

// A locked mbox mailbox as a POP3 session sees it: the messages found in
// it, what the client marked for deletion, and the update at QUIT.

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

#include "payload/vpop3d/pop3_output.h"

struct MaildropMessage {
  off_t start = 0;        // its "From " line
  off_t body = 0;         // the first byte after that line
  off_t content_end = 0;  // before the blank line that ends it in the file
  off_t end = 0;          // where the next message (or the file) starts
  uint64_t octets = 0;    // its size as sent: CR LF line ends, quoting undone
  std::string uid;
  bool deleted = false;
};

class Maildrop {
 public:
  // Finds the messages of the mailbox open as `fd` (kept, not owned).
  bool Scan(int fd, std::string* err);

  std::vector<MaildropMessage>& messages() { return messages_; }
  // The message numbered `number` (from 1), unless missing or deleted.
  MaildropMessage* Find(uint32_t number);

  // Sends the message as a multi-line answer body, ended by ".": all of it,
  // or when `top` its header and the first `top_lines` lines of its body.
  bool Send(const MaildropMessage& message, bool top, uint32_t top_lines, Pop3Output* out);

  // Writes the messages not deleted (and anything found after them) to a
  // new file beside the mailbox and renames it over `user` in `domain_fd`.
  bool Commit(int domain_fd, const std::string& user, std::string* err);

 private:
  int fd_ = -1;
  off_t scanned_end_ = 0;
  std::vector<MaildropMessage> messages_;
};

// How many leading ">" the line has before "From ", or -1 when it is not a
// quoted (or plain) "From " line.
int FromQuoteDepth(const std::string& line);
