#include "payload/vpop3d/client_lines.h"

#include <errno.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>

int ClientLines::WaitMilliseconds() const {
  // Rounded up, so that a wait cut short by the deadline ends past it.
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline_ - SessionClock::now());
  return static_cast<int>(std::clamp<long long>(left.count(), 0, idle_seconds_ * 1000LL));
}

ClientRead ClientLines::Next(std::string* line) {
  for (;;) {
    if (SessionClock::now() >= deadline_) return ClientRead::kSessionOver;
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
    const int wait_milliseconds = WaitMilliseconds();
    const int ready = poll(&wait, 1, wait_milliseconds);
    if (ready < 0 && errno == EINTR) continue;
    if (ready == 0) {
      if (wait_milliseconds == idle_seconds_ * 1000) return ClientRead::kIdle;
      continue;  // the deadline came first
    }
    if (ready < 0) return ClientRead::kClosed;
    char chunk[4096];
    const ssize_t n = read(fd_, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return ClientRead::kClosed;
    buffer_.append(chunk, static_cast<size_t>(n));
  }
}
