// Rules this file keeps: StopRunningCommand runs inside the interrupt
// handler, so everything here uses only async-signal-safe calls and the one
// sig_atomic_t below; the record never names a process that was already
// reaped, since reaping and clearing happen with the stop signals blocked.

#include "host/running_command.h"

#include <errno.h>
#include <poll.h>
#include <sys/wait.h>

namespace {

volatile sig_atomic_t running_command = 0;

// How long a stopped command may take to clean up before it is killed, and
// how long a killed one may take to go.
constexpr int kGraceMilliseconds = 3000;
constexpr int kPollMilliseconds = 10;

// Waits up to `milliseconds` until no process of the command's group is
// left (the shell and what it started); reaps the shell, this process's
// child, on the way. True when the group is gone.
bool WaitForGroupToEnd(pid_t group, int milliseconds) {
  for (int waited = 0;; waited += kPollMilliseconds) {
    int status;
    waitpid(group, &status, WNOHANG);
    if (kill(-group, 0) != 0 && errno == ESRCH) return true;
    if (waited >= milliseconds) return false;
    poll(nullptr, 0, kPollMilliseconds);  // a sleep that is safe in a handler
  }
}

}  // namespace

sigset_t StopSignals() {
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGHUP);
  sigaddset(&signals, SIGINT);
  return signals;
}

void BlockStopSignals() {
  sigset_t stop = StopSignals();
  sigprocmask(SIG_BLOCK, &stop, nullptr);
}

StopSignalsBlocked::StopSignalsBlocked() {
  sigset_t stop = StopSignals();
  sigprocmask(SIG_BLOCK, &stop, &old_mask_);
}

StopSignalsBlocked::~StopSignalsBlocked() { sigprocmask(SIG_SETMASK, &old_mask_, nullptr); }

void SetRunningCommand(pid_t pid) { running_command = pid; }

void StopRunningCommand() {
  const pid_t group = running_command;
  if (group <= 0) return;
  running_command = 0;
  kill(-group, SIGTERM);
  if (WaitForGroupToEnd(group, kGraceMilliseconds)) return;
  kill(-group, SIGKILL);
  WaitForGroupToEnd(group, kGraceMilliseconds);
}
