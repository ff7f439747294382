#include "payload/vpop3d/login_gate.h"

#include <errno.h>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cstdint>

namespace {

void AppendField(std::string* datagram, const std::string& field) {
  const uint32_t size = static_cast<uint32_t>(field.size());
  for (int shift = 24; shift >= 0; shift -= 8)
    datagram->push_back(static_cast<char>(size >> shift));
  datagram->append(field);
}

bool TakeField(const std::string& datagram, size_t* at, std::string* field) {
  if (datagram.size() - *at < 4) return false;
  uint32_t size = 0;
  for (int i = 0; i < 4; ++i) size = size << 8 | static_cast<unsigned char>(datagram[(*at)++]);
  if (datagram.size() - *at < size) return false;
  field->assign(datagram, *at, size);
  *at += size;
  return true;
}

ssize_t SendWhole(int fd, const std::string& datagram) {
  ssize_t sent;
  do {
    sent = send(fd, datagram.data(), datagram.size(), MSG_NOSIGNAL);
  } while (sent < 0 && errno == EINTR);
  return sent;
}

}  // namespace

std::string EncodeRequest(const GateRequest& request) {
  std::string datagram(1, static_cast<char>(request.kind));
  AppendField(&datagram, request.login);
  AppendField(&datagram, request.password);
  AppendField(&datagram, request.pending);
  return datagram;
}

bool DecodeRequest(const std::string& datagram, GateRequest* request) {
  if (datagram.empty()) return false;
  GateRequest decoded;
  decoded.kind = static_cast<GateRequest::Kind>(datagram[0]);
  if (decoded.kind != GateRequest::Kind::kLogin && decoded.kind != GateRequest::Kind::kRelay)
    return false;
  size_t at = 1;
  if (!TakeField(datagram, &at, &decoded.login) || !TakeField(datagram, &at, &decoded.password) ||
      !TakeField(datagram, &at, &decoded.pending) || at != datagram.size())
    return false;
  *request = std::move(decoded);
  return true;
}

bool SendRequest(int fd, const GateRequest& request) {
  const std::string datagram = EncodeRequest(request);
  if (datagram.size() > kLargestGateDatagram) return false;
  return SendWhole(fd, datagram) == static_cast<ssize_t>(datagram.size());
}

bool ReceiveRequest(int fd, std::chrono::steady_clock::time_point deadline, GateRequest* request) {
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    struct pollfd wait = {fd, POLLIN, 0};
    const int ready = poll(&wait, 1, static_cast<int>(std::min<long long>(left.count(), 60000)));
    if (ready < 0 && errno != EINTR) return false;
    if (ready <= 0) continue;
    std::string datagram(kLargestGateDatagram + 1, '\0');
    // A datagram larger than the buffer comes cut short, and is refused.
    const ssize_t got = recv(fd, datagram.data(), datagram.size(), 0);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0 || static_cast<size_t>(got) > kLargestGateDatagram) return false;
    datagram.resize(static_cast<size_t>(got));
    return DecodeRequest(datagram, request);
  }
}

bool SendVerdict(int fd, GateVerdict verdict) {
  return SendWhole(fd, std::string(1, static_cast<char>(verdict))) == 1;
}

bool ReceiveVerdict(int fd, GateVerdict* verdict) {
  char byte;
  ssize_t got;
  do {
    got = recv(fd, &byte, 1, 0);
  } while (got < 0 && errno == EINTR);
  if (got != 1) return false;
  *verdict = static_cast<GateVerdict>(byte);
  return true;
}
