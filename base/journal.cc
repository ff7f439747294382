#include "base/journal.h"

#include <sys/stat.h>

#include <algorithm>

void InstallJournal::Created(const std::string& path) { created_.push_back(path); }

void InstallJournal::ModeChanged(const std::string& path, mode_t old_mode) {
  mode_t ignored;
  if (!OldMode(path, &ignored)) mode_changes_.push_back({path, old_mode});
}

void InstallJournal::BackupMade(const std::string& file, const std::string& /*backup*/) {
  struct stat st;
  const bool identified = lstat(file.c_str(), &st) == 0;
  backups_.push_back({file, identified, identified ? st.st_dev : 0, identified ? st.st_ino : 0});
}

bool InstallJournal::WasCreated(const std::string& path) const {
  return std::find(created_.begin(), created_.end(), path) != created_.end();
}

bool InstallJournal::MadeBackupOf(const std::string& file) const {
  return std::any_of(backups_.begin(), backups_.end(),
                     [&](const Backup& backup) { return backup.file == file; });
}

bool InstallJournal::StillTheFileBackedUp(const std::string& file) const {
  struct stat st;
  if (lstat(file.c_str(), &st) != 0) return false;
  for (const Backup& backup : backups_) {
    if (backup.file != file) continue;
    return backup.identified && backup.device == st.st_dev && backup.inode == st.st_ino;
  }
  return false;
}

bool InstallJournal::OldMode(const std::string& path, mode_t* mode) const {
  for (const ModeChange& change : mode_changes_) {
    if (change.path == path) {
      *mode = change.old_mode;
      return true;
    }
  }
  return false;
}

std::vector<std::string> InstallJournal::CreatedBelow(const std::string& folder) const {
  std::vector<std::string> below;
  const std::string prefix = folder + "/";
  for (auto it = created_.rbegin(); it != created_.rend(); ++it) {
    if (it->size() > prefix.size() && it->compare(0, prefix.size(), prefix) == 0)
      below.push_back(*it);
  }
  return below;
}
