#include "host/command.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <ostream>
#include <vector>

#include "common/spawn.h"
#include "host/running_command.h"

namespace {

// Characters that never mean anything to the shell.
bool IsShellSafe(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '/' ||
         c == '.' || c == '_' || c == '-' || c == '+' || c == ',' || c == ':' || c == '@' ||
         c == '%' || c == '=';
}

// How long to wait for output before looking whether the command has ended;
// a daemon the command started may hold the pipe open after it ended.
constexpr int kPollMilliseconds = 50;

// Starts /bin/sh -c on the command line, its output on `output_fd`, and
// records it for the interrupt handler. Returns 0 or the error number.
int StartShell(const std::string& command_line, int output_fd, pid_t* pid) {
  // The environment is the fixed search path and the few variables that say
  // how to talk to the administrator, as init scripts get them from the
  // system's service command. Its own process group lets the interrupt
  // handler stop the whole command. In that group it is in the terminal's
  // background, where a terminal set to `tostop` would stop it at its first
  // message: SIGTTOU stays ignored.
  signal(SIGTTOU, SIG_IGN);
  SpawnOptions options;
  options.stdout_fd = output_fd;
  options.own_process_group = true;
  options.kept_dispositions = {SIGTTOU};
  StopSignalsBlocked blocked;  // the handler must know of every command that runs
  const int error = Spawn("/bin/sh", {"sh", "-c", command_line}, options, pid);
  if (error == 0) SetRunningCommand(*pid);
  return error;
}

ssize_t ReadRetrying(int fd, char* buffer, size_t size) {
  for (;;) {
    ssize_t n = read(fd, buffer, size);
    if (n >= 0 || errno != EINTR) return n;
  }
}

}  // namespace

std::string QuoteForShell(std::string_view argument) {
  bool safe = !argument.empty();
  for (char c : argument) safe = safe && IsShellSafe(c);
  if (safe) return std::string(argument);
  std::string quoted = "'";
  for (char c : argument) {
    if (c == '\'')
      quoted += "'\\''";
    else
      quoted += c;
  }
  quoted += "'";
  return quoted;
}

std::string JoinForShell(const std::vector<std::string>& words) {
  std::string line;
  for (const std::string& word : words) {
    if (!line.empty()) line += ' ';
    line += QuoteForShell(word);
  }
  return line;
}

CommandLine& CommandLine::Add(std::string_view literal) {
  // The capacity counts the terminating NUL of a C command buffer.
  if (!fits_ || text_.size() + literal.size() + 1 > capacity_) {
    fits_ = false;
    return *this;
  }
  text_.append(literal);
  return *this;
}

CommandLine& CommandLine::AddArgument(std::string_view argument) {
  return Add(QuoteForShell(argument));
}

ShellCommand::ShellCommand(const std::string& command_line) {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return;
  pid_t pid;
  const int error = StartShell(command_line, fds[1], &pid);
  close(fds[1]);
  if (error != 0) {
    close(fds[0]);
    errno = error;
    return;
  }
  pid_ = pid;
  output_fd_ = fds[0];
}

ShellCommand::~ShellCommand() { Finish(); }

bool ShellCommand::Reap(int options) {
  StopSignalsBlocked blocked;  // no signal may find a reaped command still recorded
  int status;
  if (waitpid(pid_, &status, options) != pid_) return false;
  SetRunningCommand(0);
  exit_status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  pid_ = 0;
  return true;
}

void ShellCommand::WaitUntilEnded() {
  // Waits without reaping, so that stop signals are taken while waiting.
  siginfo_t info;
  while (waitid(P_PID, pid_, &info, WEXITED | WNOWAIT) < 0 && errno == EINTR) {
  }
  Reap(0);
}

bool ShellCommand::HasEnded() { return pid_ <= 0 || Reap(WNOHANG); }

size_t ShellCommand::Finish(char* output, size_t capacity) {
  if (pid_ < 0) return 0;
  size_t kept = 0;
  char scratch[4096];
  for (;;) {
    const bool ended = pid_ == 0;
    struct pollfd ready = {output_fd_, POLLIN, 0};
    int polled = poll(&ready, 1, ended ? 0 : kPollMilliseconds);
    if (polled < 0 && errno == EINTR) continue;
    if (polled > 0) {
      char* target = kept < capacity ? output + kept : scratch;
      size_t room = kept < capacity ? capacity - kept : sizeof(scratch);
      ssize_t n = ReadRetrying(output_fd_, target, room);
      if (n <= 0) break;  // end of output
      if (target != scratch) kept += static_cast<size_t>(n);
      continue;
    }
    if (ended) break;  // nothing more after the command ended
    Reap(WNOHANG);
  }
  close(output_fd_);
  output_fd_ = -1;
  if (pid_ > 0) WaitUntilEnded();
  pid_ = -1;
  return kept;
}

int RunDiscarded(const std::string& command_line) {
  ShellCommand command(command_line);
  if (!command.started()) return -1;
  command.Finish();
  return command.exit_status();
}

int RunCaptured(const std::string& command_line, std::string* output, size_t limit) {
  output->assign(limit, '\0');
  ShellCommand command(command_line);
  if (!command.started()) {
    output->clear();
    return -1;
  }
  output->resize(command.Finish(output->data(), limit));
  return command.exit_status();
}

bool RunEchoed(const std::string& command_line, std::ostream& out, const char* failure_line) {
  char output[1024];
  ShellCommand command(command_line);
  size_t kept = command.Finish(output, sizeof(output) - 1);
  if (kept > 0) {
    out.write(output, static_cast<std::streamsize>(kept));
    out.flush();
    return true;
  }
  if (failure_line) {
    out << failure_line << '\n';
    out.flush();
  }
  return false;
}
