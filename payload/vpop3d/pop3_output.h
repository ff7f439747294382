#pragma once

// The answers of a POP3 session, buffered and written to the client.

#include <string.h>

#include <cstddef>
#include <memory>
#include <string>

class Pop3Output {
 public:
  // What is held before it is written.
  static constexpr size_t kBufferSize = 64 * 1024;

  explicit Pop3Output(int fd) : fd_(fd), buffer_(new char[kBufferSize]) {}

  // Adds `text` and CR LF.
  void Line(const std::string& text) {
    Raw(text.data(), text.size());
    Raw("\r\n", 2);
  }
  // Adds bytes as they are. Inline: a message goes through here a line
  // at a time.
  void Raw(const char* data, size_t size) {
    if (size <= kBufferSize - used_) {
      memcpy(buffer_.get() + used_, data, size);
      used_ += size;
    } else {
      RawPastTheBuffer(data, size);
    }
  }
  // Writes everything buffered; false once a write has failed.
  bool Flush();
  bool failed() const { return failed_; }

 private:
  void RawPastTheBuffer(const char* data, size_t size);

  int fd_;
  std::unique_ptr<char[]> buffer_;
  size_t used_ = 0;
  bool failed_ = false;
};
