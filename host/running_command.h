#pragma once

// The command the installer is waiting for, kept where the interrupt handler
// can reach it, and the stop signals that must not split its start or its
// end from this record.

#include <signal.h>
#include <sys/types.h>

// SIGTERM, SIGHUP and SIGINT: the signals that stop a run.
sigset_t StopSignals();

// Blocks the stop signals until the process ends.
void BlockStopSignals();

// Blocks the stop signals for the life of the object; the old mask comes
// back after. A signal that arrives meanwhile waits until then.
class StopSignalsBlocked {
 public:
  StopSignalsBlocked();
  ~StopSignalsBlocked();
  StopSignalsBlocked(const StopSignalsBlocked&) = delete;
  StopSignalsBlocked& operator=(const StopSignalsBlocked&) = delete;

 private:
  sigset_t old_mask_;
};

// Records the command started as process `pid`, the leader of its own
// process group; 0 when none runs. Called with the stop signals blocked.
void SetRunningCommand(pid_t pid);

// Stops the recorded command, if any: SIGTERM to its whole process group,
// SIGKILL after a grace period, and waits until the group has ended.
// Async-signal-safe.
void StopRunningCommand();
