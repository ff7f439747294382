#pragma once

// Failed POP3 logins per client address, counted across connections so
// that many connections in parallel guess no faster than one. The record is
// a file of root's in the installation's log folder (never one the mail
// account or the client's side could change), one "<time> <address>" line
// per failure within the window, edited under a lock.

#include <time.h>

#include <string>

class FailedLogins {
 public:
  static constexpr int kFailuresAllowed = 10;
  static constexpr time_t kWindowSeconds = 60;

  FailedLogins() = default;
  ~FailedLogins();
  FailedLogins(const FailedLogins&) = delete;
  FailedLogins& operator=(const FailedLogins&) = delete;

  // kFailedLoginsFile in the installation's log folder.
  static std::string PathIn(const std::string& ins_folder);

  // Opens the record at `path`, creating it with mode 0600; never through a
  // link, and only a regular file of this process's owner. False with `err`.
  bool Open(const std::string& path, std::string* err);

  // Counts a login from `address` as failed before its password is even
  // checked, so that logins in parallel cannot pass the limit together.
  // False, counting nothing, when `address` already has kFailuresAllowed
  // failures within the last kWindowSeconds (or the record cannot be kept).
  bool Reserve(const std::string& address, time_t now);
  // The login last reserved for `address` at `now` succeeded after all.
  void Forgive(const std::string& address, time_t now);

 private:
  // Runs `edit` on the record's lines under the lock and writes them back.
  template <typename Edit>
  bool EditLines(time_t now, Edit edit);

  int fd_ = -1;
};
