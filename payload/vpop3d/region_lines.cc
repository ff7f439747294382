#include "payload/vpop3d/region_lines.h"

#include <errno.h>
#include <unistd.h>

#include <algorithm>

bool RegionLines::Fill() {
  buffer_.erase(0, used_);
  used_ = 0;
  const off_t buffered_end = at_ + static_cast<off_t>(buffer_.size());
  const size_t want = static_cast<size_t>(std::min<off_t>(to_ - buffered_end, kLongestPiece));
  if (want == 0) return false;
  const size_t old = buffer_.size();
  buffer_.resize(old + want);
  ssize_t n;
  do {
    n = pread(fd_, buffer_.data() + old, want, buffered_end);
  } while (n < 0 && errno == EINTR);
  buffer_.resize(old + static_cast<size_t>(std::max<ssize_t>(n, 0)));
  if (n <= 0) {
    // A file shorter than it was scanned is a fault too.
    failed_ = true;
    to_ = buffered_end;
    return false;
  }
  return true;
}

bool RegionLines::Next(LinePiece* piece) {
  for (;;) {
    const size_t feed = buffer_.find('\n', used_);
    const size_t available = buffer_.size() - used_;
    const bool at_end = at_ + static_cast<off_t>(buffer_.size()) >= to_;
    if (feed != std::string::npos || available >= kLongestPiece || (at_end && available > 0)) {
      const size_t length =
          feed != std::string::npos ? feed - used_ : std::min(available, kLongestPiece);
      piece->text.assign(buffer_, used_, length);
      piece->offset = at_;
      piece->starts_line = !mid_line_;
      piece->ends_line = feed != std::string::npos;
      mid_line_ = !piece->ends_line;
      const size_t taken = length + (piece->ends_line ? 1 : 0);
      used_ += taken;
      at_ += static_cast<off_t>(taken);
      return true;
    }
    if (at_end || !Fill()) return false;
  }
}
