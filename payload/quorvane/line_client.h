#pragma once

// A client of a line protocol on this host (the service's own, SMTP, POP3),
// for `quorvane check`: every wait is bounded, so a server that does not
// answer fails the check instead of hanging it.

#include <cstdint>
#include <string>

class LineClient {
 public:
  explicit LineClient(int timeout_seconds) : timeout_seconds_(timeout_seconds) {}
  ~LineClient();
  LineClient(const LineClient&) = delete;
  LineClient& operator=(const LineClient&) = delete;

  // Connects to 127.0.0.1 on `port`. False with `err`.
  bool Connect(uint16_t port, std::string* err);
  // One line the server sent, without its CR LF. False with `err` when the
  // connection ended or the time ran out first.
  bool ReadLine(std::string* line, std::string* err);
  // Sends `line` and CR LF. False with `err`.
  bool Send(const std::string& line, std::string* err);
  // An SMTP reply: its lines up to the one with a blank after the code
  // ("250 ..."), the last of them in `line`; the code, or -1 with `err`.
  int ReadSmtpReply(std::string* line, std::string* err);

 private:
  int timeout_seconds_;
  int fd_ = -1;
  std::string buffered_;
};
