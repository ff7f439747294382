#include "host/command.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <ostream>

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
  pid_t pid = fork();
  if (pid < 0) {
    close(fds[0]);
    close(fds[1]);
    return;
  }
  if (pid == 0) {
    int null_fd = open("/dev/null", O_RDONLY);
    if (null_fd >= 0) dup2(null_fd, STDIN_FILENO);
    dup2(fds[1], STDOUT_FILENO);
    execl("/bin/sh", "sh", "-c", command_line.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  close(fds[1]);
  pid_ = pid;
  output_fd_ = fds[0];
}

ShellCommand::~ShellCommand() { Finish(); }

size_t ShellCommand::Finish(char* output, size_t capacity) {
  if (pid_ <= 0) return 0;
  size_t kept = 0;
  char scratch[4096];
  bool ended = false;
  int status;
  for (;;) {
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
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      ended = true;
      pid_ = 0;
    }
  }
  close(output_fd_);
  output_fd_ = -1;
  if (pid_ > 0) {
    while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
  }
  pid_ = -1;
  return kept;
}

void RunDiscarded(const std::string& command_line) {
  ShellCommand command(command_line);
  command.Finish();
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
