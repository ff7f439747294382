#include "payload/qvsml/mbox_lock.h"

#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include "payload/qvsml/mailbox_file.h"

namespace {

constexpr int kRetryMilliseconds = 100;

bool LockWholeFile(int fd, short type) {
  struct flock lock = {};
  lock.l_type = type;
  lock.l_whence = SEEK_SET;
  return fcntl(fd, F_SETLK, &lock) == 0;
}

void SleepMilliseconds(int milliseconds) {
  struct timespec pause = {milliseconds / 1000, (milliseconds % 1000) * 1000000L};
  while (nanosleep(&pause, &pause) != 0 && errno == EINTR) {
  }
}

}  // namespace

int MboxLock::TryOnce(std::string* err) {
  lock_file_fd_ = openat(domain_fd_, lock_name_.c_str(),
                         O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (lock_file_fd_ < 0) {
    if (errno != EEXIST) {
      *err = lock_name_ + ": " + strerror(errno);
      return -1;
    }
    struct stat st;
    if (fstatat(domain_fd_, lock_name_.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
        time(nullptr) - st.st_mtime > kStaleLockSeconds) {
      unlinkat(domain_fd_, lock_name_.c_str(), 0);
    }
    return 0;
  }
  const std::string pid = std::to_string(getpid()) + "\n";
  if (write(lock_file_fd_, pid.data(), pid.size()) < 0) {
    // The pid is a courtesy to administrators; the file itself is the lock.
  }
  if (LockWholeFile(mailbox_fd_, F_WRLCK)) return 1;
  const int error = errno;
  unlinkat(domain_fd_, lock_name_.c_str(), 0);
  close(lock_file_fd_);
  lock_file_fd_ = -1;
  if (error == EACCES || error == EAGAIN) return 0;
  *err = std::string("fcntl lock: ") + strerror(error);
  return -1;
}

bool MboxLock::Acquire(int domain_fd, const std::string& user, int mailbox_fd, int wait_seconds,
                       bool* busy, std::string* err) {
  Release();
  domain_fd_ = domain_fd;
  mailbox_fd_ = mailbox_fd;
  lock_name_ = user + ".lock";
  *busy = false;
  const int attempts = wait_seconds * 1000 / kRetryMilliseconds + 1;
  for (int attempt = 0; attempt < attempts; ++attempt) {
    const int result = TryOnce(err);
    if (result == 1) {
      held_ = true;
      return true;
    }
    if (result < 0) return false;
    if (attempt + 1 < attempts) SleepMilliseconds(kRetryMilliseconds);
  }
  *busy = true;
  *err = "mailbox " + user + " is locked by another program";
  return false;
}

void MboxLock::Refresh() {
  if (held_) futimens(lock_file_fd_, nullptr);
}

void MboxLock::Release() {
  if (!held_) return;
  LockWholeFile(mailbox_fd_, F_UNLCK);
  unlinkat(domain_fd_, lock_name_.c_str(), 0);
  close(lock_file_fd_);
  lock_file_fd_ = -1;
  held_ = false;
}

int OpenLockedMailbox(int domain_fd, const std::string& user, int wait_seconds, MboxLock* lock,
                      bool* busy, std::string* err) {
  // Each replacement means another program held the lock and finished; a
  // few rounds are plenty.
  for (int round = 0; round < 10; ++round) {
    int fd = OpenMailboxAt(domain_fd, user, err);
    if (fd < 0) {
      *busy = false;
      return -1;
    }
    if (!lock->Acquire(domain_fd, user, fd, wait_seconds, busy, err)) {
      close(fd);
      return -1;
    }
    struct stat held, now;
    if (fstat(fd, &held) == 0 && fstatat(domain_fd, user.c_str(), &now, AT_SYMLINK_NOFOLLOW) == 0 &&
        held.st_dev == now.st_dev && held.st_ino == now.st_ino)
      return fd;
    lock->Release();
    close(fd);
  }
  *busy = true;
  *err = "mailbox " + user + " keeps changing";
  return -1;
}
