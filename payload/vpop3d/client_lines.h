#pragma once

// The client's command lines, read with an idle limit and a length limit.

#include <string>

enum class ClientRead { kLine, kTooLong, kIdle, kClosed };

class ClientLines {
 public:
  // Lines longer than this are thrown away up to their end.
  static constexpr size_t kLongestLine = 1024;

  ClientLines(int fd, int idle_seconds) : fd_(fd), idle_seconds_(idle_seconds) {}

  // The next line without CR LF (or a bare LF) in `line`.
  ClientRead Next(std::string* line);
  // Whether a whole line has come already, so that Next will not wait.
  bool LineWaiting() const { return buffer_.find('\n') != std::string::npos; }
  // Bytes received but not yet taken as lines.
  const std::string& pending() const { return buffer_; }

 private:
  int fd_;
  int idle_seconds_;
  std::string buffer_;
  bool discarding_ = false;
};
