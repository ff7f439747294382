#include "host/backup_copy.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/paths.h"
#include "host/files.h"
#include "host/replace_file.h"

namespace {

// Copies what `in` holds into a new file under a fresh name beside
// `backup`, with `st`'s mode and owner, flushed to disk.
bool CopyUnderFreshName(int in, const struct stat& st, const std::string& backup, std::string* copy,
                        std::string* err) {
  int out = -1;
  auto create = [&out](const std::string& path) {
    out = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    return out >= 0;
  };
  if (!CreateUnderFreshName(backup + ".", create, copy))
    return FailWithErrno(err, "can't create a backup copy beside", backup);
  bool ok = true;
  char buffer[65536];
  for (;;) {
    ssize_t got = read(in, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got == 0) break;
    if (got < 0 || !WriteAll(out, std::string_view(buffer, static_cast<size_t>(got)))) {
      ok = FailWithErrno(err, "can't copy to", *copy);
      break;
    }
  }
  if (ok && fchown(out, st.st_uid, st.st_gid) != 0) {
    // The copy keeps root as its owner; its content is what matters.
  }
  if (ok && (fchmod(out, st.st_mode & 07777) != 0 || fsync(out) != 0))
    ok = FailWithErrno(err, "can't write", *copy);
  if (close(out) != 0 && ok) ok = FailWithErrno(err, "can't write", *copy);
  if (!ok) KeepingErrno([&] { unlink(copy->c_str()); });
  return ok;
}

// Moves an existing `backup` to the first numbered name that is free; never
// replaces anything already there.
bool NumberOlderBackup(const std::string& backup, std::string* older, std::string* err) {
  older->clear();
  if (!PathExists(backup.c_str())) return true;
  for (int number = 1; number < 1000; ++number) {
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
  const std::string backup = BackupPathOf(file);
  int in = open(file.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (in < 0) return FailWithErrno(err, "can't open", file);
  struct stat st;
  if (!StatRegularFile(in, &st)) {
    FailWithErrno(err, "can't copy", file);
    KeepingErrno([&] { close(in); });
    return false;
  }
  std::string copy;
  const bool copied = CopyUnderFreshName(in, st, backup, &copy, err);
  close(in);
  if (!copied) return false;
  const bool numbered = NumberOlderBackup(backup, older, err);
  if (numbered && rename(copy.c_str(), backup.c_str()) == 0) return true;
  if (numbered) FailWithErrno(err, "can't rename to", backup);
  KeepingErrno([&] {
    unlink(copy.c_str());
    if (!older->empty()) rename(older->c_str(), backup.c_str());
  });
  older->clear();
  return false;
}
