#pragma once

// The daemon's pid file, kPidFile in the installation's log folder. The daemon holds an
// exclusive flock on it for as long as it runs, so the lock, not the file's
// presence, tells whether it runs: a file left by a daemon that died is
// recognised as stale.

#include <sys/types.h>

#include <string>

std::string PidFilePath(const std::string& ins_folder);

enum class DaemonState { kRunning, kStopped, kUnknown };

// Whether a daemon holds the lock of `path`; `pid` from the file when it
// does. kUnknown with `err` when the file cannot be judged.
DaemonState ProbeDaemon(const std::string& path, pid_t* pid, std::string* err);

enum class StopResult { kStopped, kNotRunning, kFailed };

// Sends SIGTERM to the daemon holding the lock of `path`, waits up to ten
// seconds for the lock to go, then removes the file (a stale one too).
// kFailed with `err` when the daemon cannot be judged or does not stop.
StopResult StopDaemon(const std::string& path, std::string* err);

// The lock a starting daemon takes. The descriptor survives fork, and so
// does the lock with it.
class PidFileLock {
 public:
  PidFileLock() = default;
  ~PidFileLock();
  PidFileLock(const PidFileLock&) = delete;
  PidFileLock& operator=(const PidFileLock&) = delete;

  // Opens (never through a link) and locks `path`. False when another
  // daemon holds it (`*held` set) or with `err` on any other failure.
  bool Acquire(const std::string& path, bool* held, std::string* err);
  // Writes `pid` as the file's only line.
  bool WritePid(pid_t pid);

 private:
  int fd_ = -1;
};
