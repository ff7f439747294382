#pragma once

// The answers of a POP3 session, buffered and written to the client.

#include <string>

class Pop3Output {
 public:
  // What is held before it is written.
  static constexpr size_t kBufferSize = 64 * 1024;

  explicit Pop3Output(int fd) : fd_(fd) {}

  // Adds `text` and CR LF.
  void Line(const std::string& text);
  // Adds bytes as they are.
  void Raw(const char* data, size_t size);
  // Writes everything buffered; false once a write has failed.
  bool Flush();
  bool failed() const { return failed_; }

 private:
  int fd_;
  std::string buffer_;
  bool failed_ = false;
};
