#pragma once

// The client's command lines, read with an idle limit, a limit on the whole
// session that no byte the client sends can extend, and a length limit.

#include <chrono>
#include <string>

enum class ClientRead { kLine, kTooLong, kIdle, kSessionOver, kClosed };

using SessionClock = std::chrono::steady_clock;

class ClientLines {
 public:
  // Lines longer than this are thrown away up to their end.
  static constexpr size_t kLongestLine = 1024;

  ClientLines(int fd, int idle_seconds,
              SessionClock::time_point deadline = SessionClock::time_point::max())
      : fd_(fd), idle_seconds_(idle_seconds), deadline_(deadline) {}

  // The next line without CR LF (or a bare LF) in `line`; kSessionOver once
  // the deadline has passed, whatever the client sends.
  ClientRead Next(std::string* line);
  // Whether a whole line has come already, so that Next will not wait.
  bool LineWaiting() const { return buffer_.find('\n') != std::string::npos; }
  // Bytes received but not yet taken as lines.
  const std::string& pending() const { return buffer_; }
  // Takes `bytes` as received before anything read from now on: what the
  // client sent to the process that read its login.
  void TakeOver(const std::string& bytes) { buffer_.insert(0, bytes); }

 private:
  // How long to wait for the client: the idle limit, cut short by the deadline.
  int WaitMilliseconds() const;

  int fd_;
  int idle_seconds_;
  SessionClock::time_point deadline_;
  std::string buffer_;
  bool discarding_ = false;
};
