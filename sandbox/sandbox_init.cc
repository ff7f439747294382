#include "sandbox/sandbox_init.h"

#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/signalfd.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "common/write_all.h"
#include "sandbox/view_mounts.h"

namespace {

const char* const kSandboxPath = "/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin";

std::string ErrnoText(const std::string& what) { return what + ": " + strerror(errno); }

// A clean, fixed environment, so runs do not depend on the caller's.
void SetSandboxEnvironment() {
  std::vector<std::pair<std::string, std::string>> kept;
  for (const char* name : {"ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS"}) {
    if (const char* value = getenv(name)) kept.emplace_back(name, value);
  }
  clearenv();
  setenv("PATH", kSandboxPath, 1);
  setenv("HOME", "/root", 1);
  setenv("USER", "root", 1);
  setenv("LOGNAME", "root", 1);
  setenv("SHELL", "/bin/sh", 1);
  setenv("TERM", "dumb", 1);
  for (const auto& [name, value] : kept) setenv(name.c_str(), value.c_str(), 1);
}

// The PID namespace's init: starts the programs one after another, reaps
// every orphan, passes signals from the control pipe on, and once the
// programs have ended kills what they left and reports.
class SandboxInit {
 public:
  SandboxInit(const std::vector<std::string>& argv, const RunOptions& options,
              const RunHooks& hooks, int stdin_fd, int stdout_fd, int control_fd, int report_fd)
      : argv_(argv),
        options_(options),
        hooks_(hooks),
        stdin_fd_(stdin_fd),
        stdout_fd_(stdout_fd),
        control_fd_(control_fd),
        report_fd_(report_fd) {}

  [[noreturn]] void Run() {
    std::string err;
    if (!hooks_.set_up(&err)) Fail(err);
    sigset_t child_set;
    sigemptyset(&child_set);
    sigaddset(&child_set, SIGCHLD);
    sigprocmask(SIG_BLOCK, &child_set, nullptr);
    signal_fd_ = signalfd(-1, &child_set, SFD_CLOEXEC);
    program_ = Start(argv_);
    if (program_ < 0) Fail(ErrnoText("fork"));
    while (!ended_) {
      struct pollfd fds[2] = {{signal_fd_, POLLIN, 0}, {control_fd_, POLLIN, 0}};
      if (poll(fds, control_open_ ? 2 : 1, -1) < 0 && errno != EINTR) break;
      if (fds[0].revents) {
        struct signalfd_siginfo info;
        if (read(signal_fd_, &info, sizeof info) < 0) {
          // Nothing to do: the reaping below runs anyway.
        }
      }
      Reap();
      if (control_open_ && fds[1].revents) ReadControl();
    }
    Finish();
  }

 private:
  [[noreturn]] void Fail(const std::string& err) {
    WriteAll(report_fd_, "E sandbox: " + err + "\n");
    _exit(1);
  }

  // Starts one program of the run in the view; -1 when it cannot be forked.
  pid_t Start(const std::vector<std::string>& program_argv) {
    pid_t pid = fork();
    if (pid != 0) return pid;
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    for (int sig = 1; sig < NSIG; ++sig) signal(sig, SIG_DFL);
    if (chroot(hooks_.root.c_str()) != 0 || chdir(options_.working_dir.c_str()) != 0) {
      WriteAll(report_fd_, "E sandbox: " + ErrnoText("entering " + options_.working_dir) + "\n");
      _exit(127);
    }
    if (!options_.console) dup2(stdin_fd_, 0);
    dup2(stdout_fd_, 1);
    close_range(3, ~0U, 0);
    SetSandboxEnvironment();
    std::vector<char*> args;
    for (const std::string& arg : program_argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    execvp(args[0], args.data());
    fprintf(stderr, "sandbox: cannot run %s: %s\n", args[0], strerror(errno));
    _exit(127);
  }

  // As PID 1, reaps every orphan too; the first program's status is the
  // result. The programs that follow run while what the first one started
  // still runs.
  void Reap() {
    for (;;) {
      int child_status;
      pid_t pid = waitpid(-1, &child_status, WNOHANG);
      if (pid <= 0) break;
      if (pid != program_) continue;
      if (next_then_ == 0) status_ = child_status;
      program_ = -1;
      if (!interrupted_ && next_then_ < options_.then.size())
        program_ = Start(options_.then[next_then_++]);
      if (program_ < 0) ended_ = true;
    }
  }

  void ReadControl() {
    int sig = 0;
    ssize_t n = read(control_fd_, &sig, sizeof sig);
    if (n == static_cast<ssize_t>(sizeof sig) && sig > 0) {
      if (program_ > 0) kill(program_, sig);
      interrupted_ = true;
    } else if (n == static_cast<ssize_t>(sizeof sig) && sig == kKillAll) {
      kill(-1, SIGKILL);
    } else if (n <= 0) {
      control_open_ = false;
    }
  }

  [[noreturn]] void Finish() {
    close(stdin_fd_);
    close(stdout_fd_);
    // Daemons the program left behind must not write while the upper folder is read.
    kill(-1, SIGKILL);
    for (;;) {
      if (waitpid(-1, nullptr, 0) < 0 && errno != EINTR) break;
    }
    ChangeSet changes = hooks_.changes();
    std::string report = "S " + std::to_string(status_) + "\n";
    for (const std::string& path : changes.created) report += "+ " + path + "\n";
    for (const std::string& path : changes.changed) report += "~ " + path + "\n";
    for (const std::string& path : changes.deleted) report += "- " + path + "\n";
    WriteAll(report_fd_, report);
    _exit(0);
  }

  const std::vector<std::string>& argv_;
  const RunOptions& options_;
  const RunHooks& hooks_;
  const int stdin_fd_, stdout_fd_, control_fd_, report_fd_;
  int signal_fd_ = -1;
  pid_t program_ = -1;
  size_t next_then_ = 0;
  bool interrupted_ = false;
  int status_ = 0;
  bool ended_ = false;
  bool control_open_ = true;
};

}  // namespace

[[noreturn]] void RunSandboxSide(const std::vector<std::string>& argv, const RunOptions& options,
                                 const RunHooks& hooks, pid_t caller, const RunPipes& pipes) {
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (getppid() != caller) _exit(1);
  close(pipes.in[1]);
  close(pipes.out[0]);
  close(pipes.control[1]);
  close(pipes.report[0]);
  // The terminal's interrupt reaches the whole process group: the program
  // is to get it and clean up, not lose its sandbox under it.
  if (options.console) {
    for (int sig : {SIGINT, SIGQUIT, SIGHUP}) signal(sig, SIG_IGN);
  }
  std::string err;
  if (!EnterNamespaces(hooks.share_network, &err)) {
    WriteAll(pipes.report[1], "E sandbox: " + err + "\n");
    _exit(1);
  }
  pid_t init = fork();
  if (init == 0) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    SandboxInit(argv, options, hooks, pipes.in[0], pipes.out[1], pipes.control[0], pipes.report[1])
        .Run();
  }
  if (init < 0) WriteAll(pipes.report[1], "E sandbox: " + ErrnoText("fork") + "\n");
  close(pipes.in[0]);
  close(pipes.out[1]);
  close(pipes.control[0]);
  close(pipes.report[1]);
  while (init > 0 && waitpid(init, nullptr, 0) < 0 && errno == EINTR) {
  }
  _exit(0);
}
