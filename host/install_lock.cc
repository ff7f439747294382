// Rules this file keeps:
// - the lock file is opened without following a link and must be a plain
//   file owned by the installer's user, so no one else can hold or plant it;
// - the lock is only held on the file that is at the lock path right now: a
//   run that ends removes the file first and lets the lock go after, and a
//   run that locked a file already removed tries again;
// - the descriptor is closed on exec, so no command or daemon inherits it;
// - only async-signal-safe calls, as the interrupt handler removes the file.

#include "host/install_lock.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The descriptor of the held lock, for the interrupt handler; -1 when none.
volatile sig_atomic_t held_lock_fd = -1;

// True when the file open at `fd` is the one at the lock path.
bool IsAtLockPath(int fd) {
  struct stat opened, current;
  return fstat(fd, &opened) == 0 && lstat(kInstallLockFile, &current) == 0 &&
         opened.st_dev == current.st_dev && opened.st_ino == current.st_ino;
}

// An open-file-description lock: it belongs to this descriptor alone, like
// the lock of flock, and goes when the descriptor is closed.
bool LockWithoutWaiting(int fd) {
  struct flock whole_file = {};
  whole_file.l_type = F_WRLCK;
  whole_file.l_whence = SEEK_SET;
  return fcntl(fd, F_OFD_SETLK, &whole_file) == 0;
}

}  // namespace

InstallLock::~InstallLock() {
  if (fd_ < 0) return;
  RemoveHeldLockFile();
  held_lock_fd = -1;
  close(fd_);
}

InstallLock::Result InstallLock::Take() {
  for (;;) {
    int fd = open(kInstallLockFile, O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
    if (fd < 0) return Result::kFailed;
    struct stat opened;
    const bool fstat_failed = fstat(fd, &opened) != 0;
    const int error = fstat_failed ? errno : EPERM;
    if (fstat_failed || !S_ISREG(opened.st_mode) || opened.st_uid != geteuid()) {
      close(fd);
      errno = error;
      return Result::kFailed;
    }
    if (!LockWithoutWaiting(fd)) {
      const bool busy = errno == EAGAIN || errno == EACCES;
      close(fd);
      return busy ? Result::kBusy : Result::kFailed;
    }
    if (IsAtLockPath(fd)) {
      fd_ = fd;
      held_lock_fd = fd;
      return Result::kHeld;
    }
    close(fd);  // the run that held it removed it meanwhile
  }
}

void RemoveHeldLockFile() {
  const int fd = held_lock_fd;
  if (fd >= 0 && IsAtLockPath(fd)) unlink(kInstallLockFile);
}
