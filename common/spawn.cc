#include "common/spawn.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

std::vector<std::string> DefaultEnvironment() {
  std::vector<std::string> entries = {kChildSearchPath};
  for (const char* name : {"TERM", "LANG", "LC_ALL"}) {
    if (const char* value = getenv(name)) entries.push_back(std::string(name) + "=" + value);
  }
  return entries;
}

// The pointers execve wants, into strings that outlive the call.
std::vector<char*> Pointers(const std::vector<std::string>& strings) {
  std::vector<char*> pointers;
  for (const std::string& s : strings) pointers.push_back(const_cast<char*>(s.c_str()));
  pointers.push_back(nullptr);
  return pointers;
}

}  // namespace

int Spawn(const std::string& program, const std::vector<std::string>& argv,
          const SpawnOptions& options, pid_t* pid) {
  if (argv.empty()) return EINVAL;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (options.stdin_fd < 0)
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  else
    posix_spawn_file_actions_adddup2(&actions, options.stdin_fd, STDIN_FILENO);
  if (options.stdout_fd >= 0)
    posix_spawn_file_actions_adddup2(&actions, options.stdout_fd, STDOUT_FILENO);
  if (options.stderr_fd >= 0)
    posix_spawn_file_actions_adddup2(&actions, options.stderr_fd, STDERR_FILENO);

  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t to_default, none;
  sigfillset(&to_default);
  for (int kept : options.kept_dispositions) sigdelset(&to_default, kept);
  sigemptyset(&none);
  posix_spawnattr_setsigdefault(&attributes, &to_default);
  posix_spawnattr_setsigmask(&attributes, &none);
  short flags = POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK;
  if (options.own_process_group) {
    posix_spawnattr_setpgroup(&attributes, 0);
    flags |= POSIX_SPAWN_SETPGROUP;
  }
  posix_spawnattr_setflags(&attributes, flags);

  const std::vector<std::string> environment =
      options.environment ? *options.environment : DefaultEnvironment();
  std::vector<char*> argument_pointers = Pointers(argv);
  std::vector<char*> environment_pointers = Pointers(environment);
  const int error = posix_spawn(pid, program.c_str(), &actions, &attributes,
                                argument_pointers.data(), environment_pointers.data());
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  return error;
}

int WaitForChild(pid_t pid) {
  int status;
  for (;;) {
    if (waitpid(pid, &status, 0) == pid) return status;
    if (errno != EINTR) return -1;
  }
}
