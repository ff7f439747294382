#pragma once

// One installer at a time: an exclusive lock on a file that only root can
// create, held from before the working folder is touched until the run ends.

// The lock file; it exists only while an installer runs.
constexpr char kInstallLockFile[] = "/var/run/qvinstall.lock";

class InstallLock {
 public:
  enum class Result { kHeld, kBusy, kFailed };

  InstallLock() = default;
  // Removes the lock file and lets the lock go, if it was held.
  ~InstallLock();
  InstallLock(const InstallLock&) = delete;
  InstallLock& operator=(const InstallLock&) = delete;

  // Takes the lock without waiting: kBusy when another installer holds it,
  // kFailed (errno says why) when the lock file cannot be made or is not a
  // plain file of the installer's user.
  Result Take();

 private:
  int fd_ = -1;
};

// Removes the lock file if this process holds the lock on it; the lock
// itself ends with the process. Async-signal-safe.
void RemoveHeldLockFile();
