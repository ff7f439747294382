#include "payload/vpop3d/pop3_output.h"

#include "common/write_all.h"

void Pop3Output::RawPastTheBuffer(const char* data, size_t size) {
  if (!Flush()) return;
  // A piece as large as the buffer goes out as it is.
  if (size >= kBufferSize) {
    if (!WriteAll(fd_, data, size)) failed_ = true;
    return;
  }
  memcpy(buffer_.get(), data, size);
  used_ = size;
}

bool Pop3Output::Flush() {
  if (!failed_ && !WriteAll(fd_, buffer_.get(), used_)) failed_ = true;
  used_ = 0;
  return !failed_;
}
