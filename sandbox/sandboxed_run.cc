#include "sandbox/sandboxed_run.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/write_all.h"
#include "sandbox/sandbox_init.h"

namespace {

// How long a sandbox may take to report after a timeout before it is killed hard.
constexpr auto kReportGrace = std::chrono::seconds(5);
// How often a run with RunOptions::forward_signal looks at it.
constexpr int kForwardPollMs = 100;

std::string ErrnoText(const std::string& what) { return what + ": " + strerror(errno); }

// Reads the init process's report into `result`.
void ParseReport(const std::string& report, RunResult* result) {
  std::string errors;
  bool have_status = false;
  size_t start = 0;
  while (start < report.size()) {
    size_t end = report.find('\n', start);
    if (end == std::string::npos) end = report.size();
    std::string line = report.substr(start, end - start);
    start = end + 1;
    if (line.size() < 2) continue;
    std::string rest = line.substr(2);
    switch (line[0]) {
      case 'E':
        errors += rest + "\n";
        break;
      case 'S': {
        int status = atoi(rest.c_str());
        have_status = true;
        if (WIFEXITED(status)) result->exit_status = WEXITSTATUS(status);
        if (WIFSIGNALED(status)) result->term_signal = WTERMSIG(status);
        break;
      }
      case '+':
        result->changes.created.push_back(rest);
        break;
      case '~':
        result->changes.changed.push_back(rest);
        break;
      case '-':
        result->changes.deleted.push_back(rest);
        break;
    }
  }
  if (!errors.empty()) {
    fprintf(stderr, "%s", errors.c_str());
    result->output = errors;
    result->exit_status = -1;
  } else if (!have_status && !result->timed_out) {
    result->output = "sandbox: no report from the sandbox\n" + result->output;
    result->exit_status = -1;
  }
}

// The caller's side of a run: feeds standard input, gathers standard output
// and the report, passes signals on, and at the deadline has the sandbox
// killed (and kills it hard if it does not report in time).
class RunPump {
 public:
  RunPump(const RunOptions& options, pid_t outer, const RunPipes& pipes, RunResult* result)
      : options_(options),
        outer_(outer),
        stdin_fd_(pipes.in[1]),
        stdout_fd_(pipes.out[0]),
        control_fd_(pipes.control[1]),
        report_fd_(pipes.report[0]),
        result_(result),
        deadline_(Clock::now() + std::chrono::seconds(options.timeout_seconds)) {
    fcntl(stdin_fd_, F_SETFL, O_NONBLOCK);
    if (options.console || (options.stdin_text.empty() && !options.keep_stdin_open)) {
      close(stdin_fd_);
      stdin_fd_ = -1;
    }
  }

  // Until the sandbox has closed its output and its report; returns the report.
  std::string Run() {
    while (stdout_fd_ >= 0 || report_fd_ >= 0) {
      struct pollfd fds[3];
      nfds_t count = 0;
      int stdin_slot = -1, stdout_slot = -1, report_slot = -1;
      if (stdin_fd_ >= 0 && stdin_done_ < options_.stdin_text.size()) {
        stdin_slot = static_cast<int>(count);
        fds[count++] = {stdin_fd_, POLLOUT, 0};
      }
      if (stdout_fd_ >= 0) {
        stdout_slot = static_cast<int>(count);
        fds[count++] = {stdout_fd_, POLLIN, 0};
      }
      if (report_fd_ >= 0) {
        report_slot = static_cast<int>(count);
        fds[count++] = {report_fd_, POLLIN, 0};
      }
      if (poll(fds, count, killed_hard_ ? -1 : WaitMilliseconds()) < 0 && errno != EINTR) break;
      CheckDeadline();
      ForwardSignal();
      if (stdin_slot >= 0 && fds[stdin_slot].revents) FeedStdin();
      if (stdout_slot >= 0 && fds[stdout_slot].revents) ReadStdout();
      if (report_slot >= 0 && fds[report_slot].revents) ReadReport();
    }
    if (stdin_fd_ >= 0) close(stdin_fd_);
    close(control_fd_);
    return report_text_;
  }

 private:
  using Clock = std::chrono::steady_clock;

  int WaitMilliseconds() const {
    auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(deadline_ - Clock::now());
    int wait_ms = static_cast<int>(std::max<int64_t>(0, wait.count()));
    // A signal landing just before poll would wait for the deadline otherwise.
    if (options_.forward_signal) wait_ms = std::min(wait_ms, kForwardPollMs);
    return wait_ms;
  }

  void SendControl(int value) {
    if (write(control_fd_, &value, sizeof value) < 0) {
      // The sandbox is already gone; its report says what happened.
    }
  }

  void CheckDeadline() {
    if (killed_hard_ || Clock::now() < deadline_) return;
    if (!result_->timed_out) {
      result_->timed_out = true;
      SendControl(kKillAll);
      deadline_ = Clock::now() + kReportGrace;
    } else {
      kill(outer_, SIGKILL);
      killed_hard_ = true;
    }
  }

  void ForwardSignal() {
    if (options_.forward_signal && *options_.forward_signal != 0 && !forwarded_) {
      SendControl(*options_.forward_signal);
      forwarded_ = true;
    }
  }

  void FeedStdin() {
    ssize_t n = write(stdin_fd_, options_.stdin_text.data() + stdin_done_,
                      options_.stdin_text.size() - stdin_done_);
    if (n > 0) stdin_done_ += static_cast<size_t>(n);
    bool broken = n < 0 && errno != EAGAIN && errno != EINTR;
    if (broken || (stdin_done_ == options_.stdin_text.size() && !options_.keep_stdin_open)) {
      close(stdin_fd_);
      stdin_fd_ = -1;
    }
  }

  void ReadStdout() {
    char buf[65536];
    ssize_t n = read(stdout_fd_, buf, sizeof buf);
    if (n > 0) {
      result_->output.append(buf, static_cast<size_t>(n));
      if (options_.console) WriteAll(1, std::string(buf, static_cast<size_t>(n)));
    } else if (n == 0 || errno != EINTR) {
      close(stdout_fd_);
      stdout_fd_ = -1;
    }
    const std::string& after = options_.signal_after;
    if (!after.empty() && !result_->signal_sent &&
        result_->output.find(after, signal_scan_from_) != std::string::npos) {
      SendControl(options_.signal);
      result_->signal_sent = true;
    }
    if (result_->output.size() > after.size()) {
      signal_scan_from_ = result_->output.size() - after.size();
    }
  }

  void ReadReport() {
    char buf[65536];
    ssize_t n = read(report_fd_, buf, sizeof buf);
    if (n > 0) {
      report_text_.append(buf, static_cast<size_t>(n));
    } else if (n == 0 || errno != EINTR) {
      close(report_fd_);
      report_fd_ = -1;
    }
  }

  const RunOptions& options_;
  const pid_t outer_;
  int stdin_fd_, stdout_fd_;
  const int control_fd_;
  int report_fd_;
  RunResult* result_;
  Clock::time_point deadline_;
  size_t stdin_done_ = 0;
  bool killed_hard_ = false;
  size_t signal_scan_from_ = 0;
  bool forwarded_ = false;
  std::string report_text_;
};

}  // namespace

RunResult RunSandboxed(const std::vector<std::string>& argv, const RunOptions& options,
                       const RunHooks& hooks) {
  RunResult result;
  if (argv.empty()) {
    result.output = "sandbox: nothing to run\n";
    return result;
  }
  RunPipes pipes;
  if (pipe2(pipes.in, O_CLOEXEC) != 0 || pipe2(pipes.out, O_CLOEXEC) != 0 ||
      pipe2(pipes.control, O_CLOEXEC) != 0 || pipe2(pipes.report, O_CLOEXEC) != 0) {
    result.output = "sandbox: " + ErrnoText("pipe") + "\n";
    return result;
  }
  struct sigaction ignore = {}, old_pipe = {};
  ignore.sa_handler = SIG_IGN;
  sigaction(SIGPIPE, &ignore, &old_pipe);

  pid_t caller = getpid();
  pid_t outer = fork();
  if (outer == 0) RunSandboxSide(argv, options, hooks, caller, pipes);
  close(pipes.in[0]);
  close(pipes.out[1]);
  close(pipes.control[0]);
  close(pipes.report[1]);
  if (outer < 0) {
    result.output = "sandbox: " + ErrnoText("fork") + "\n";
    for (int fd : {pipes.in[1], pipes.out[0], pipes.control[1], pipes.report[0]}) close(fd);
    sigaction(SIGPIPE, &old_pipe, nullptr);
    return result;
  }
  std::string report = RunPump(options, outer, pipes, &result).Run();
  while (waitpid(outer, nullptr, 0) < 0 && errno == EINTR) {
  }
  sigaction(SIGPIPE, &old_pipe, nullptr);
  ParseReport(report, &result);
  return result;
}
