#pragma once

// Replacing a system file without ever leaving its path missing: the new
// content goes to a temporary file in the same folder and is renamed over
// the old one, and a backup copy is made by linking, never by moving the
// live file away.

#include <sys/types.h>

#include <string>
#include <string_view>

// Reads the whole file into `content`. False with errno from the failing
// open or read (and `err` filled); changes nothing on disk.
bool ReadWholeFile(const std::string& path, std::string* content, std::string* err);

// Makes `backup` hold `file` as it stands now: a hard link under a
// temporary name beside `backup`, renamed over it (an older backup is
// replaced in one step); a byte copy with the same mode when linking fails.
// False with errno set when no backup could be made; `backup` is then as
// it was.
bool BackupFile(const std::string& file, const std::string& backup, std::string* err);

// The new content of one file, written under a temporary name in the
// destination's folder. Until Commit succeeds the destination is untouched;
// an uncommitted temporary file is removed by the destructor.
class ReplacementFile {
 public:
  explicit ReplacementFile(std::string destination);
  ~ReplacementFile();
  ReplacementFile(const ReplacementFile&) = delete;
  ReplacementFile& operator=(const ReplacementFile&) = delete;

  // Creates the temporary file (mkstemp). False with errno set.
  bool Create(std::string* err);
  // Writes `content`, flushes it to disk and sets the permission bits to
  // `mode`, then closes the file. False with errno set.
  bool Write(std::string_view content, mode_t mode, std::string* err);
  // Renames the written file over the destination. False with errno set;
  // the destination is then as it was.
  bool Commit(std::string* err);

  const std::string& temporary_path() const { return temporary_path_; }

 private:
  void Discard();

  std::string destination_;
  std::string temporary_path_;
  int fd_ = -1;
  bool committed_ = false;
};

// 0664 less the process's file-creation mask, which is read without being
// changed for longer than an instant.
mode_t NewFileMode();
