#include "payload/vpop3d/region_reader.h"

#include <errno.h>
#include <unistd.h>

#include <algorithm>

RegionReader::RegionReader(int fd, off_t from, off_t to, size_t buffer_size)
    : fd_(fd),
      at_(from),
      to_(to),
      buffer_size_(std::max<size_t>(buffer_size, 1)),
      buffer_(new char[buffer_size_]) {}

bool RegionReader::Next(const char** data, size_t* size) {
  if (failed_ || at_ >= to_) return false;
  const size_t want = static_cast<size_t>(std::min<off_t>(to_ - at_, buffer_size_));
  ssize_t n;
  do {
    n = pread(fd_, buffer_.get(), want, at_);
  } while (n < 0 && errno == EINTR);
  if (n <= 0) {
    // A file shorter than it was scanned is a fault too.
    failed_ = true;
    return false;
  }
  *data = buffer_.get();
  *size = static_cast<size_t>(n);
  offset_ = at_;
  at_ += n;
  return true;
}
