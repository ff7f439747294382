#include "payload/vpop3d/client_lines.h"

#include <errno.h>
#include <poll.h>
#include <unistd.h>

ClientRead ClientLines::Next(std::string* line) {
  for (;;) {
    const size_t feed = buffer_.find('\n');
    if (feed != std::string::npos) {
      const bool was_discarding = discarding_;
      discarding_ = false;
      *line = buffer_.substr(0, feed);
      buffer_.erase(0, feed + 1);
      if (!line->empty() && line->back() == '\r') line->pop_back();
      if (was_discarding || line->size() > kLongestLine) return ClientRead::kTooLong;
      return ClientRead::kLine;
    }
    if (buffer_.size() > kLongestLine) {
      discarding_ = true;
      buffer_.clear();
    }
    struct pollfd wait = {fd_, POLLIN, 0};
    const int ready = poll(&wait, 1, idle_seconds_ * 1000);
    if (ready < 0 && errno == EINTR) continue;
    if (ready == 0) return ClientRead::kIdle;
    if (ready < 0) return ClientRead::kClosed;
    char chunk[4096];
    const ssize_t n = read(fd_, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return ClientRead::kClosed;
    buffer_.append(chunk, static_cast<size_t>(n));
  }
}
