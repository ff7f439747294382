#include "config/named_backup.h"

#include <sys/stat.h>

#include <fstream>
#include <iterator>
#include <optional>
#include <string>

#include "host/command.h"

namespace {

constexpr size_t kCommandSize = 1024;

std::optional<std::string> ReadRegularFile(const std::string& path) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) return std::nullopt;
  return content;
}

struct Stamp {
  bool exists = false;
  struct timespec modified = {};
  struct timespec changed = {};
};

Stamp StampOf(const std::string& path) {
  Stamp stamp;
  struct stat st;
  if (stat(path.c_str(), &st) == 0) {
    stamp.exists = true;
    stamp.modified = st.st_mtim;
    stamp.changed = st.st_ctim;
  }
  return stamp;
}

bool SameTime(const struct timespec& a, const struct timespec& b) {
  return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

// True when the copy wrote the backup now: a backup an earlier run left and
// this copy did not touch is not this run's to put back.
bool CopyMadeBackup(const std::string& file, const std::string& backup, const Stamp& before) {
  Stamp after = StampOf(backup);
  if (!after.exists) return false;
  if (before.exists && SameTime(before.modified, after.modified) &&
      SameTime(before.changed, after.changed))
    return false;
  std::optional<std::string> original = ReadRegularFile(file);
  std::optional<std::string> copy = ReadRegularFile(backup);
  return original && copy && *original == *copy;
}

}  // namespace

void BackUpNamedConf(Console& console, InstallJournal& journal, const char* file) {
  const std::string backup = std::string(file) + ".qvbackup";
  CommandLine command(kCommandSize);
  command.Add("cp ").AddArgument(file).Add(" ").AddArgument(backup);
  if (!command.fits()) return;
  const Stamp before = StampOf(backup);
  ShellCommand copy(command.text());
  console.PrintLine(command.text());
  copy.Finish();
  if (CopyMadeBackup(file, backup, before)) journal.BackupMade(file, backup);
}
