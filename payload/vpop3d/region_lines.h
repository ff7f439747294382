#pragma once

// Reads a stretch of a file line by line, with bounded memory: a line
// longer than kLongestPiece comes in several pieces.

#include <sys/types.h>

#include <string>

struct LinePiece {
  std::string text;         // without the line feed
  off_t offset = 0;         // where the piece starts in the file
  bool starts_line = true;  // the piece is the start of its line
  bool ends_line = true;    // a line feed followed it
};

class RegionLines {
 public:
  static constexpr size_t kLongestPiece = 64 * 1024;

  // The lines of `fd` between the offsets `from` and `to`.
  RegionLines(int fd, off_t from, off_t to) : fd_(fd), at_(from), to_(to) {}

  // The next piece; false at the end of the stretch or on a read error.
  bool Next(LinePiece* piece);
  bool failed() const { return failed_; }

 private:
  bool Fill();

  int fd_;
  off_t at_;  // file offset of buffer_[used_]
  off_t to_;
  std::string buffer_;
  size_t used_ = 0;
  bool failed_ = false;
  bool mid_line_ = false;
};
