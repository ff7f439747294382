#pragma once

// The only place that runs shell commands. A command runs through
// /bin/sh -c with standard input from /dev/null (so it can never eat the
// administrator's answers), its standard output on a pipe, a fixed PATH and
// a minimal environment, default signal handling (but SIGTTOU ignored), and
// in a process group of its own that the interrupt handler stops. Success is judged by a
// command's effect; its exit status only explains a failure.

#include <cstddef>
#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

// Exit codes of the shell for a command it could not find, or not run.
constexpr int kShellCommandNotFound = 127;
constexpr int kShellCommandNotExecutable = 126;

// Quotes an argument for the shell only where it holds a character the shell
// would interpret: "/etc/named.conf" stays as it is, "/opt/q v" becomes
// '/opt/q v'. The result always reaches the command as one argument.
std::string QuoteForShell(std::string_view argument);

// The words as one command line, each quoted where the shell needs it:
// {"/etc/init.d/sendmail", "restart"} gives "/etc/init.d/sendmail restart".
std::string JoinForShell(const std::vector<std::string>& words);

// A command line of bounded size, built from literal parts and arguments.
class CommandLine {
 public:
  explicit CommandLine(size_t capacity) : capacity_(capacity) {}
  // Appends text as it is.
  CommandLine& Add(std::string_view literal);
  // Appends QuoteForShell(argument).
  CommandLine& AddArgument(std::string_view argument);
  // False once anything did not fit; the line is then never to be run.
  bool fits() const { return fits_; }
  const std::string& text() const { return text_; }

 private:
  size_t capacity_;
  bool fits_ = true;
  std::string text_;
};

// A running command whose output is read and discarded. Finish (or the
// destructor) waits until the command has ended.
class ShellCommand {
 public:
  explicit ShellCommand(const std::string& command_line);
  ~ShellCommand();
  ShellCommand(const ShellCommand&) = delete;
  ShellCommand& operator=(const ShellCommand&) = delete;

  // False when the command could not be started; errno says why.
  bool started() const { return pid_ > 0; }
  // True once the command has ended (or never started); its output may
  // still wait to be read by Finish.
  bool HasEnded();
  // Reads up to `capacity` bytes of output into `output` (the rest is
  // drained and dropped), then waits for the command. Returns the bytes kept.
  size_t Finish(char* output = nullptr, size_t capacity = 0);
  // The exit code once finished; -1 when it was killed by a signal.
  int exit_status() const { return exit_status_; }

 private:
  // Reaps the command if it has ended (waitpid options); true when it has.
  bool Reap(int options);
  void WaitUntilEnded();

  int pid_ = -1;  // 0 once reaped
  int output_fd_ = -1;
  int exit_status_ = -1;
};

// Discarded run: starts the command and waits for it; output is dropped.
// Returns the exit code, -1 when it could not start or was killed.
int RunDiscarded(const std::string& command_line);

// Captured run: starts the command and keeps the first `limit` bytes of its
// output in `output` (the rest is read and dropped). Returns the exit code,
// -1 when it could not start or was killed.
int RunCaptured(const std::string& command_line, std::string* output, size_t limit);

// Echoed run: copies the first 1023 bytes of the command's output to `out`
// as they are. Returns false when the command could not start or printed
// nothing; then `failure_line`, if any, is printed with a line end.
bool RunEchoed(const std::string& command_line, std::ostream& out,
               const char* failure_line = nullptr);
