#include "payload/vpop3d/system_pop3.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include "common/spawn.h"
#include "common/write_all.h"

namespace {

constexpr int kGreetingWaitMilliseconds = 30 * 1000;

// Reads the daemon's first line; false when none comes in time.
bool TakeGreeting(int fd, std::string* rest) {
  std::string received;
  while (received.find('\n') == std::string::npos) {
    struct pollfd wait = {fd, POLLIN, 0};
    if (poll(&wait, 1, kGreetingWaitMilliseconds) <= 0) return false;
    char chunk[512];
    ssize_t n = read(fd, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    received.append(chunk, static_cast<size_t>(n));
  }
  *rest = received.substr(received.find('\n') + 1);
  return true;
}

void Relay(int client_in, int client_out, int daemon_in, int daemon_out) {
  char chunk[16 * 1024];
  for (;;) {
    struct pollfd fds[2] = {{client_in, POLLIN, 0}, {daemon_out, POLLIN, 0}};
    if (poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    for (int i = 0; i < 2; ++i) {
      if (!fds[i].revents) continue;
      ssize_t n = read(fds[i].fd, chunk, sizeof chunk);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0 || !WriteAll(i == 0 ? daemon_in : client_out, chunk, static_cast<size_t>(n)))
        return;
    }
  }
}

}  // namespace

std::string SystemPop3Path(const std::string& argument) {
  if (argument.find('/') != std::string::npos) return argument;
  return "/usr/sbin/" + argument;
}

bool RelayToSystemPop3(const std::string& path, const std::string& user_line,
                       const std::string& pending, int in_fd, int out_fd,
                       const std::function<bool()>& before_relay) {
  if (access(path.c_str(), X_OK) != 0) return false;
  int to_daemon[2], from_daemon[2];
  if (pipe2(to_daemon, O_CLOEXEC) != 0) return false;
  if (pipe2(from_daemon, O_CLOEXEC) != 0) {
    close(to_daemon[0]);
    close(to_daemon[1]);
    return false;
  }
  // The daemon needs no variable of ours, the search path aside.
  SpawnOptions options;
  options.stdin_fd = to_daemon[0];
  options.stdout_fd = from_daemon[1];
  options.environment = std::vector<std::string>{kChildSearchPath};
  pid_t pid;
  const bool started = Spawn(path, {path}, options, &pid) == 0;
  close(to_daemon[0]);
  close(from_daemon[1]);
  std::string after_greeting;
  const bool greeted = started && TakeGreeting(from_daemon[0], &after_greeting);
  if (greeted && (!before_relay || before_relay())) {
    const std::string forward = user_line + "\r\n" + pending;
    if (WriteAll(out_fd, after_greeting.data(), after_greeting.size()) &&
        WriteAll(to_daemon[1], forward.data(), forward.size()))
      Relay(in_fd, out_fd, to_daemon[1], from_daemon[0]);
  }
  close(to_daemon[1]);
  close(from_daemon[0]);
  if (started) {
    if (!greeted) kill(pid, SIGTERM);
    WaitForChild(pid);
  }
  return greeted;
}
