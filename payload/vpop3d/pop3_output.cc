#include "payload/vpop3d/pop3_output.h"

#include <errno.h>
#include <unistd.h>

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
  size_t done = 0;
  while (!failed_ && done < buffer_.size()) {
    ssize_t n = write(fd_, buffer_.data() + done, buffer_.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) failed_ = true;
    if (n > 0) done += static_cast<size_t>(n);
  }
  buffer_.clear();
  return !failed_;
}
