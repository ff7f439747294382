#include "host/backup_copy.h"

#include <sys/stat.h>

#include "host/command.h"
#include "host/replace_file.h"

namespace {

constexpr size_t kCommandSize = 1024;

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

bool IsRegularFile(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool SameRegularContent(const std::string& a, const std::string& b) {
  std::string first, second;
  return IsRegularFile(a) && IsRegularFile(b) && ReadWholeFile(a, &first, nullptr) &&
         ReadWholeFile(b, &second, nullptr) && first == second;
}

}  // namespace

bool CopyToBackup(const std::string& file,
                  const std::function<void(const std::string& command_line)>& while_copying) {
  const std::string backup = file + ".qvbackup";
  CommandLine command(kCommandSize);
  command.Add("cp ").AddArgument(file).Add(" ").AddArgument(backup);
  if (!command.fits()) return false;
  const Stamp before = StampOf(backup);
  ShellCommand copy(command.text());
  if (while_copying) while_copying(command.text());
  copy.Finish();
  const Stamp after = StampOf(backup);
  if (!after.exists) return false;
  if (before.exists && SameTime(before.modified, after.modified) &&
      SameTime(before.changed, after.changed))
    return false;
  return SameRegularContent(file, backup);
}
