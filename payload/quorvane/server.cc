// Rules this file keeps:
// - a client not in the access list is closed before it gets a byte;
// - no client can make the daemon block: sockets are non-blocking, request
//   lines and unsent answers are bounded, an idle client is dropped;
// - signal handlers only set flags; the loop acts on them.

#include "payload/quorvane/server.h"

#include <arpa/inet.h>
#include <errno.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <string.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <vector>

#include "payload/quorvane/protocol.h"

namespace {

constexpr size_t kMaxClients = 64;
// Kept for the administrator's machines (the listed addresses outside
// 127.0.0.0/8), so that local users filling the rest through the loopback
// address cannot lock the administrator out.
constexpr size_t kAdministratorSlots = 4;
constexpr size_t kMaxPendingOutput = 64 * 1024;

volatile sig_atomic_t stop_requested = 0;
volatile sig_atomic_t reload_requested = 0;

void OnStop(int) { stop_requested = 1; }
void OnReload(int) { reload_requested = 1; }

using Clock = std::chrono::steady_clock;

struct Client {
  int fd = -1;
  std::string peer;
  bool administrator = false;
  std::string input, output;
  Clock::time_point last_active;
  bool closing = false;  // close once `output` is sent
};

bool IsLoopback(in_addr_t address) { return (ntohl(address) >> 24) == 127; }

std::string PeerText(const sockaddr_in& address) {
  char text[INET_ADDRSTRLEN] = "?";
  inet_ntop(AF_INET, &address.sin_addr, text, sizeof text);
  return text;
}

// Sends what it can without blocking; false when the connection is broken.
bool Flush(Client& client) {
  while (!client.output.empty()) {
    ssize_t n =
        send(client.fd, client.output.data(), client.output.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return true;
    if (n <= 0) return false;
    client.output.erase(0, static_cast<size_t>(n));
  }
  return true;
}

class Loop {
 public:
  Loop(int listener, ServerSettings settings, const SettingsLoader& reload, ServiceLog& log)
      : listener_(listener), settings_(std::move(settings)), reload_(reload), log_(log) {}

  void Run() {
    sigset_t unblocked;
    sigemptyset(&unblocked);
    while (!stop_requested) {
      std::vector<pollfd> fds = PollSet();
      timespec timeout = NextTimeout();
      int ready = ppoll(fds.data(), fds.size(), clients_.empty() ? nullptr : &timeout, &unblocked);
      if (ready < 0 && errno != EINTR) {
        log_.Write(std::string("poll failed: ") + strerror(errno));
        break;
      }
      if (stop_requested) break;
      if (reload_requested) Reload();
      if (ready > 0) Serve(fds);
      DropIdleClients();
    }
    for (Client& client : clients_) close(client.fd);
    clients_.clear();
  }

 private:
  std::vector<pollfd> PollSet() const {
    std::vector<pollfd> fds = {{listener_, POLLIN, 0}};
    for (const Client& client : clients_) {
      short events = client.closing ? 0 : POLLIN;
      if (!client.output.empty()) events |= POLLOUT;
      fds.push_back({client.fd, events, 0});
    }
    return fds;
  }

  timespec NextTimeout() const {
    timespec timeout = {3600, 0};
    if (settings_.idle_seconds == 0) return timeout;
    Clock::time_point now = Clock::now(), first = now + std::chrono::hours(1);
    for (const Client& client : clients_) {
      first = std::min(first, client.last_active + std::chrono::seconds(settings_.idle_seconds));
    }
    auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(first - now).count();
    if (wait < 0) wait = 0;
    timeout.tv_sec = wait / 1000;
    timeout.tv_nsec = (wait % 1000) * 1000000;
    return timeout;
  }

  void Reload() {
    reload_requested = 0;
    ServerSettings fresh;
    std::string err;
    if (!reload_(&fresh, &err)) {
      log_.Write("reload failed, settings kept: " + err);
      return;
    }
    if (fresh.port != settings_.port) {
      log_.Write("port " + std::to_string(fresh.port) + " takes effect at the next restart");
      fresh.port = settings_.port;
    }
    settings_ = std::move(fresh);
    log_.Write("configuration and access list read again");
  }

  void Serve(const std::vector<pollfd>& fds) {
    // Clients are served in the order of `fds` before any is removed.
    for (size_t i = 1; i < fds.size(); ++i) {
      Client& client = clients_[i - 1];
      if (fds[i].revents & (POLLIN | POLLHUP | POLLERR)) Receive(client);
      if (client.fd >= 0 && !Flush(client)) Disconnect(client, "connection lost");
      if (client.fd >= 0 && client.closing && client.output.empty()) {
        Disconnect(client, "disconnected");
      }
    }
    std::erase_if(clients_, [](const Client& client) { return client.fd < 0; });
    if (fds[0].revents & POLLIN) Accept();
  }

  void Accept() {
    sockaddr_in address = {};
    socklen_t length = sizeof address;
    int fd = accept4(listener_, reinterpret_cast<sockaddr*>(&address), &length,
                     SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) return;
    const std::string peer = PeerText(address);
    if (address.sin_family != AF_INET || !settings_.access.Allows(address.sin_addr.s_addr)) {
      close(fd);
      log_.Write("refused " + peer + ": not in the access list");
      return;
    }
    const bool administrator = !IsLoopback(address.sin_addr.s_addr);
    if (!HasSlotFor(administrator)) {
      Client refused{fd, peer, false, "", "-ERR too many clients\r\n", Clock::now(), true};
      Flush(refused);
      close(fd);
      log_.Write("refused " + peer + ": too many clients");
      return;
    }
    clients_.push_back({fd, peer, administrator, "", Greeting(), Clock::now(), false});
    log_.Write("connection from " + peer);
    if (!Flush(clients_.back())) {
      Disconnect(clients_.back(), "connection lost");
      clients_.pop_back();
    }
  }

  // Everyone shares the slots but the administrator's; those are theirs.
  bool HasSlotFor(bool administrator) const {
    if (clients_.size() >= kMaxClients) return false;
    if (administrator) return true;
    const size_t others = static_cast<size_t>(std::count_if(
        clients_.begin(), clients_.end(), [](const Client& c) { return !c.administrator; }));
    return others < kMaxClients - kAdministratorSlots;
  }

  void Receive(Client& client) {
    char buffer[4096];
    ssize_t n = recv(client.fd, buffer, sizeof buffer, MSG_DONTWAIT);
    if (n < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) return;
    if (n <= 0) {
      Disconnect(client, n == 0 ? "closed the connection" : "connection lost");
      return;
    }
    client.last_active = Clock::now();
    client.input.append(buffer, static_cast<size_t>(n));
    size_t end;
    while (!client.closing && (end = client.input.find('\n')) != std::string::npos) {
      std::string request = client.input.substr(0, end);
      client.input.erase(0, end + 1);
      if (request.size() > kMaxRequestLine + 1) {
        Farewell(client, OverlongFarewell());
        return;
      }
      ServerStatus status{
          settings_.port, clients_.size(),
          std::chrono::duration_cast<std::chrono::seconds>(Clock::now() - started_).count(),
          settings_.zone_defaults};
      Reply reply = Answer(request, status);
      client.output += reply.text;
      client.closing = reply.close;
    }
    if (client.input.size() > kMaxRequestLine + 1) Farewell(client, OverlongFarewell());
    if (client.output.size() > kMaxPendingOutput) Disconnect(client, "stopped reading");
  }

  void Farewell(Client& client, const std::string& text) {
    client.input.clear();
    client.output += text;
    client.closing = true;
  }

  void DropIdleClients() {
    if (settings_.idle_seconds == 0) return;
    const Clock::time_point now = Clock::now();
    for (Client& client : clients_) {
      if (now - client.last_active < std::chrono::seconds(settings_.idle_seconds)) continue;
      client.output += IdleFarewell(settings_.idle_seconds);
      Flush(client);
      Disconnect(client,
                 "idle for " + std::to_string(settings_.idle_seconds) + " seconds, disconnected");
    }
    std::erase_if(clients_, [](const Client& client) { return client.fd < 0; });
  }

  void Disconnect(Client& client, const std::string& why) {
    if (client.fd < 0) return;
    close(client.fd);
    client.fd = -1;
    log_.Write(client.peer + " " + why);
  }

  int listener_;
  ServerSettings settings_;
  const SettingsLoader& reload_;
  ServiceLog& log_;
  std::vector<Client> clients_;
  Clock::time_point started_ = Clock::now();
};

}  // namespace

int OpenListener(uint32_t port, std::string* err) {
  if (port == 0 || port > 65535) {
    *err = "cannot listen on port " + std::to_string(port) +
           ": a TCP port is a number from 1 to 65535";
    return -1;
  }
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  int on = 1;
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_ANY);
  if (fd < 0 || setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0 ||
      bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(fd, 16) != 0) {
    *err = "cannot listen on port " + std::to_string(port) + ": " + strerror(errno);
    if (fd >= 0) close(fd);
    return -1;
  }
  return fd;
}

void BlockServerSignals() {
  sigset_t set;
  sigemptyset(&set);
  for (int sig : {SIGTERM, SIGINT, SIGHUP}) sigaddset(&set, sig);
  sigprocmask(SIG_BLOCK, &set, nullptr);
}

void Serve(int listener, ServerSettings settings, const SettingsLoader& reload, ServiceLog& log) {
  struct sigaction action = {};
  sigemptyset(&action.sa_mask);
  action.sa_handler = OnStop;
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGINT, &action, nullptr);
  action.sa_handler = OnReload;
  sigaction(SIGHUP, &action, nullptr);
  action.sa_handler = SIG_IGN;
  sigaction(SIGPIPE, &action, nullptr);
  Loop(listener, std::move(settings), reload, log).Run();
}
