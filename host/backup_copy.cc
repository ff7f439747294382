#include "host/backup_copy.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/layout.h"
#include "host/files.h"
#include "host/replace_file.h"

namespace {

constexpr int kMostNumberedBackups = 999;

// Moves an existing `backup` to the first numbered name that is free; never
// replaces anything already there.
bool NumberOlderBackup(const std::string& backup, std::string* older, std::string* err) {
  older->clear();
  if (!PathExists(backup.c_str())) return true;
  for (int number = 1; number <= kMostNumberedBackups; ++number) {
    const std::string numbered = backup + "." + std::to_string(number);
    if (renameat2(AT_FDCWD, backup.c_str(), AT_FDCWD, numbered.c_str(), RENAME_NOREPLACE) == 0) {
      *older = numbered;
      return true;
    }
    if (errno == EEXIST) continue;
    if (errno != EINVAL) break;
    // A file system without the no-replace rename: link, then drop the old name.
    if (link(backup.c_str(), numbered.c_str()) == 0) {
      unlink(backup.c_str());
      *older = numbered;
      return true;
    }
    if (errno != EEXIST) break;
  }
  return FailWithErrno(err, "can't keep the older backup", backup);
}

}  // namespace

std::string BackupPathOf(const std::string& file) { return file + kBackupSuffix; }

bool MakeBackupCopy(const std::string& file, std::string* older, std::string* err) {
  older->clear();
  std::string content;
  struct stat st;
  if (!ReadWholeFile(file, &content, err, &st)) return false;
  const std::string backup = BackupPathOf(file);
  ReplacementFile copy(backup);
  if (!copy.Create(err) || !copy.Write(content, st.st_mode & 07777, err)) return false;
  if (lchown(copy.temporary_path().c_str(), st.st_uid, st.st_gid) != 0) {
    // The copy keeps root as its owner; its content is what matters.
  }
  if (!NumberOlderBackup(backup, older, err)) return false;
  if (copy.Commit(err)) return true;
  if (!older->empty()) KeepingErrno([&] { rename(older->c_str(), backup.c_str()); });
  older->clear();
  return false;
}
