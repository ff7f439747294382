#include "payload/qvremove/run_command.h"

#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

#include "common/spawn.h"

bool RunCommand(const std::vector<std::string>& argv, std::string* output) {
  int pipe_fds[2];
  if (argv.empty() || pipe2(pipe_fds, O_CLOEXEC) != 0) return false;
  SpawnOptions options;
  options.stdout_fd = pipe_fds[1];
  options.stderr_fd = pipe_fds[1];
  // Messages in the C locale, whatever the administrator's: they are read
  // here, not shown.
  options.environment = std::vector<std::string>{kChildSearchPath, "LC_ALL=C"};
  pid_t pid = -1;
  const int started = Spawn(argv[0], argv, options, &pid);
  close(pipe_fds[1]);
  if (started != 0) {
    close(pipe_fds[0]);
    return false;
  }
  char buffer[4096];
  for (;;) {
    ssize_t n = read(pipe_fds[0], buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    output->append(buffer, static_cast<size_t>(n));
  }
  close(pipe_fds[0]);
  WaitForChild(pid);
  return true;
}
