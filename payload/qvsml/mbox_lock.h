#pragma once

// The locks every mbox program honours, taken together: a "<mailbox>.lock"
// file beside the mailbox (created exclusively, holding its maker's pid, and
// fcntl-locked by it) and an fcntl write lock on the mailbox itself. A lock
// file that its maker no longer holds was left by a program that died, and
// is taken over at once. One that cannot be opened (another owner's) is
// taken as left once it is older than kStaleLockSeconds; a holder keeps its
// own fresh with Refresh().

#include <string>

constexpr int kStaleLockSeconds = 15 * 60;

class MboxLock {
 public:
  MboxLock() = default;
  ~MboxLock() { Release(); }
  MboxLock(const MboxLock&) = delete;
  MboxLock& operator=(const MboxLock&) = delete;

  // Takes both locks on `mailbox_fd`, the mailbox `user` in `domain_fd`,
  // trying for up to `wait_seconds`. False with `err` when they stay taken
  // (`*busy` true) or cannot be made (`*busy` false).
  bool Acquire(int domain_fd, const std::string& user, int mailbox_fd, int wait_seconds, bool* busy,
               std::string* err);
  // Marks the lock file as still in use.
  void Refresh();
  // Gives both locks up; harmless when none is held.
  void Release();

 private:
  // One attempt; 1 taken, 0 busy, -1 failed.
  int TryOnce(std::string* err);

  int domain_fd_ = -1;
  int mailbox_fd_ = -1;
  int lock_file_fd_ = -1;
  std::string lock_name_;
  bool held_ = false;
};

// Opens the mailbox `user` in `domain_fd` (see mailbox_file.h) and takes
// `lock` on it. A mailbox replaced by its owner (renamed over) while this
// waited is opened again, so the descriptor returned is always the file
// now at that name; -1 with `err`, `*busy` as for Acquire.
int OpenLockedMailbox(int domain_fd, const std::string& user, int wait_seconds, MboxLock* lock,
                      bool* busy, std::string* err);
