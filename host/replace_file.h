#pragma once

// Putting a file or a link in place without ever leaving its path missing
// and without ever writing through someone else's link: the new content is
// a file (or link) the run creates itself under a fresh name in the same
// folder (O_CREAT|O_EXCL|O_NOFOLLOW), written, flushed and renamed over the
// old path in one step.

#include <sys/types.h>

#include <functional>
#include <string>
#include <string_view>

// Reads the whole of a regular file into `content`, never blocking on a
// FIFO or device (those fail with EINVAL); `st`, when given, receives what
// the open file is. False with errno from the failing call (and `err`
// filled); changes nothing on disk.
bool ReadWholeFile(const std::string& path, std::string* content, std::string* err,
                   struct stat* st = nullptr);

// Creates something at `prefix` followed by six random characters, trying
// fresh names while `create` fails with EEXIST. `create` makes the path
// exclusively (open with O_EXCL, symlink, link). False with errno set.
bool CreateUnderFreshName(const std::string& prefix,
                          const std::function<bool(const std::string& path)>& create,
                          std::string* path);

// The new content of one file, written under a fresh name in the
// destination's folder. Until Commit succeeds the destination is untouched;
// an uncommitted temporary file is removed by the destructor.
class ReplacementFile {
 public:
  explicit ReplacementFile(std::string destination);
  ~ReplacementFile();
  ReplacementFile(const ReplacementFile&) = delete;
  ReplacementFile& operator=(const ReplacementFile&) = delete;

  // Creates the temporary file (O_CREAT|O_EXCL|O_NOFOLLOW, mode 0600).
  // False with errno set.
  bool Create(std::string* err);
  // Writes `content`, flushes it to disk and sets the permission bits to
  // `mode`, then closes the file. False with errno set.
  bool Write(std::string_view content, mode_t mode, std::string* err);
  // Renames the written file over the destination; with `set_aside`, what
  // was there is kept as PutInPlace keeps it. False with errno set; the
  // destination is then as it was.
  bool Commit(std::string* err, std::string* set_aside = nullptr);

  const std::string& temporary_path() const { return temporary_path_; }

 private:
  void Discard();

  std::string destination_;
  std::string temporary_path_;
  int fd_ = -1;
  bool committed_ = false;
};

// Writes `content` with `mode` as the file at `path`, replacing what is
// there (a link as a link, never writing through it) in one step. When
// `set_aside` is given, what was there is kept as by PutInPlace. False with
// errno set and `err` filled; `path` is then as it was.
bool ReplaceFile(const std::string& path, std::string_view content, mode_t mode,
                 std::string* set_aside, std::string* err);

// ReplaceFile without keeping the old file, for a file the run owns: a
// symbolic link at `path` (dangling or not) is refused with ELOOP and left
// alone.
bool WriteNewFile(const std::string& path, std::string_view content, mode_t mode, std::string* err);

// Renames `temporary` over `path`. Whatever was at `path` is kept first as
// a hard link under a fresh name beside it, returned in `set_aside` ("" when
// nothing was there), so that it can be put back. False with errno set;
// `path` and `temporary` are then as they were.
bool PutInPlace(const std::string& temporary, const std::string& path, std::string* set_aside,
                std::string* err);

// 0664 less the process's file-creation mask, which is read without being
// changed for longer than an instant.
mode_t NewFileMode();
