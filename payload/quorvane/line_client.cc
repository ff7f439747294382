#include "payload/quorvane/line_client.h"

#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <time.h>
#include <unistd.h>

#include "common/write_all.h"

namespace {

constexpr size_t kLongestLine = 64 * 1024;

int64_t NowMilliseconds() {
  struct timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return int64_t{now.tv_sec} * 1000 + now.tv_nsec / 1000000;
}

bool Fail(std::string* err, const std::string& what) {
  *err = what;
  return false;
}

}  // namespace

LineClient::~LineClient() {
  if (fd_ >= 0) close(fd_);
}

bool LineClient::Connect(uint16_t port, std::string* err) {
  fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd_ < 0) return Fail(err, std::string("socket: ") + strerror(errno));
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 &&
      errno != EINPROGRESS)
    return Fail(err, "port " + std::to_string(port) + ": " + strerror(errno));
  struct pollfd ready = {fd_, POLLOUT, 0};
  if (poll(&ready, 1, timeout_seconds_ * 1000) != 1)
    return Fail(err, "port " + std::to_string(port) + ": no answer");
  int error = 0;
  socklen_t size = sizeof error;
  getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error, &size);
  if (error != 0) return Fail(err, "port " + std::to_string(port) + ": " + strerror(error));
  // Connected: from now on writes block, for as long as the time allowed.
  fcntl(fd_, F_SETFL, fcntl(fd_, F_GETFL) & ~O_NONBLOCK);
  struct timeval limit = {timeout_seconds_, 0};
  setsockopt(fd_, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
  return true;
}

bool LineClient::ReadLine(std::string* line, std::string* err) {
  const int64_t deadline = NowMilliseconds() + int64_t{timeout_seconds_} * 1000;
  for (;;) {
    const size_t end = buffered_.find('\n');
    if (end != std::string::npos) {
      *line = buffered_.substr(0, end);
      if (!line->empty() && line->back() == '\r') line->pop_back();
      buffered_.erase(0, end + 1);
      return true;
    }
    if (buffered_.size() > kLongestLine) return Fail(err, "a line too long");
    const int64_t left = deadline - NowMilliseconds();
    struct pollfd ready = {fd_, POLLIN, 0};
    const int polled = left > 0 ? poll(&ready, 1, static_cast<int>(left)) : 0;
    if (polled < 0 && errno == EINTR) continue;
    if (polled <= 0)
      return Fail(err, "no answer within " + std::to_string(timeout_seconds_) + " s");
    char chunk[4096];
    const ssize_t n = read(fd_, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return Fail(err, "the connection was closed");
    buffered_.append(chunk, static_cast<size_t>(n));
  }
}

bool LineClient::Send(const std::string& line, std::string* err) {
  const std::string data = line + "\r\n";
  if (WriteAll(fd_, data.data(), data.size())) return true;
  return Fail(err, std::string("cannot send: ") + strerror(errno));
}

int LineClient::ReadSmtpReply(std::string* line, std::string* err) {
  for (;;) {
    if (!ReadLine(line, err)) return -1;
    if (line->size() < 3 || line->find_first_not_of("0123456789") < 3) {
      *err = "not an SMTP reply: " + *line;
      return -1;
    }
    if (line->size() == 3 || (*line)[3] == ' ') return std::stoi(line->substr(0, 3));
  }
}
