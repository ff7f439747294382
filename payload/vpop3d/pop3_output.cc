#include "payload/vpop3d/pop3_output.h"

#include "payload/qvsml/write_all.h"

void Pop3Output::Line(const std::string& text) {
  buffer_ += text;
  buffer_ += "\r\n";
  if (buffer_.size() >= kBufferSize) Flush();
}

void Pop3Output::Raw(const char* data, size_t size) {
  if (buffer_.size() + size < kBufferSize) {
    buffer_.append(data, size);
    return;
  }
  // A piece as large as the buffer goes out as it is, after what is held.
  if (size >= kBufferSize) {
    if (Flush() && !WriteAll(fd_, data, size)) failed_ = true;
    return;
  }
  buffer_.append(data, size);
  Flush();
}

bool Pop3Output::Flush() {
  if (!failed_ && !WriteAll(fd_, buffer_.data(), buffer_.size())) failed_ = true;
  buffer_.clear();
  return !failed_;
}
