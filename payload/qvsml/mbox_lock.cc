#include "payload/qvsml/mbox_lock.h"

#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include "common/write_all.h"
#include "payload/qvsml/mailbox_file.h"

namespace {

constexpr int kRetryMilliseconds = 100;
// A lock file without a pid was made a moment before its maker locked it;
// one that stays so, unlocked, for this long was left by a program that died.
constexpr int kUnwrittenLockSeconds = 5;

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

// Whether the lock file `name` in `domain_fd` was left by a program that is
// gone. Its maker holds an fcntl lock on it for as long as it holds the
// mailbox and writes its pid only once that lock is taken, so a file that
// nobody has locked and that holds a pid is left over. A file that cannot
// be opened (another owner's) is judged by its age alone.
bool LeftBehind(int domain_fd, const std::string& name) {
  int fd = openat(domain_fd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  struct stat st, now;
  if (fd < 0) {
    return errno == EACCES && fstatat(domain_fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
           time(nullptr) - st.st_mtime > kStaleLockSeconds;
  }
  struct flock holder = {};
  holder.l_type = F_WRLCK;
  holder.l_whence = SEEK_SET;
  bool left = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && fcntl(fd, F_GETLK, &holder) == 0 &&
              holder.l_type == F_UNLCK &&
              (st.st_size > 0 || time(nullptr) - st.st_mtime > kUnwrittenLockSeconds);
  // The name must still be this file: its holder may have just removed it,
  // and another program made a new one.
  left = left && fstatat(domain_fd, name.c_str(), &now, AT_SYMLINK_NOFOLLOW) == 0 &&
         now.st_dev == st.st_dev && now.st_ino == st.st_ino;
  close(fd);
  return left;
}

}  // namespace

int MboxLock::TryOnce(std::string* err) {
  // A lock left by a program that died is removed and taken at once.
  for (int attempt = 0; attempt < 2 && lock_file_fd_ < 0; ++attempt) {
    lock_file_fd_ = openat(domain_fd_, lock_name_.c_str(),
                           O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (lock_file_fd_ >= 0) break;
    if (errno != EEXIST) {
      *err = lock_name_ + ": " + strerror(errno);
      return -1;
    }
    if (!LeftBehind(domain_fd_, lock_name_) || unlinkat(domain_fd_, lock_name_.c_str(), 0) != 0)
      return 0;
  }
  if (lock_file_fd_ < 0) return 0;
  // Held for as long as the file is ours; it goes with this process, so
  // the file tells whether its maker is still alive. Taken before the pid
  // is written, which says that it was.
  if (!LockWholeFile(lock_file_fd_, F_WRLCK)) {
    *err = std::string("fcntl lock on ") + lock_name_ + ": " + strerror(errno);
    unlinkat(domain_fd_, lock_name_.c_str(), 0);
    close(lock_file_fd_);
    lock_file_fd_ = -1;
    return -1;
  }
  const std::string pid = std::to_string(getpid()) + "\n";
  if (!WriteAll(lock_file_fd_, pid)) {
    // Without it the file still counts as held while the fcntl lock lasts.
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
