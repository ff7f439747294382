#include "payload/vpop3d/pop3_output.h"

#include "payload/qvsml/write_all.h"

namespace {

constexpr size_t kFlushSize = 64 * 1024;

}  // namespace

void Pop3Output::Line(const std::string& text) {
  buffer_ += text;
  buffer_ += "\r\n";
  if (buffer_.size() >= kFlushSize) Flush();
}

void Pop3Output::Raw(const char* data, size_t size) {
  buffer_.append(data, size);
  if (buffer_.size() >= kFlushSize) Flush();
}

bool Pop3Output::Flush() {
  if (!failed_ && !WriteAll(fd_, buffer_.data(), buffer_.size())) failed_ = true;
  buffer_.clear();
  return !failed_;
}
