#pragma once

// Reads the bytes of a file between two offsets, a buffer at a time, with
// memory that does not grow with the stretch.

#include <sys/types.h>

#include <cstddef>
#include <memory>

class RegionReader {
 public:
  static constexpr size_t kBufferSize = 128 * 1024;

  // The bytes of `fd` from the offset `from` up to `to`, in pieces of at
  // most `buffer_size` bytes (tests pass small sizes to cut the text at
  // every place).
  RegionReader(int fd, off_t from, off_t to, size_t buffer_size = kBufferSize);

  // The next piece in `data` and `size`; false at the end of the stretch,
  // or when the file cannot be read or ends before it (then failed()).
  bool Next(const char** data, size_t* size);
  // Where the piece last given starts in the file.
  off_t offset() const { return offset_; }
  bool failed() const { return failed_; }

 private:
  int fd_;
  off_t at_;  // where the next piece starts
  off_t to_;
  off_t offset_ = 0;
  size_t buffer_size_;
  std::unique_ptr<char[]> buffer_;
  bool failed_ = false;
};
