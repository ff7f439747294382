#include "base/journal.h"

#include <sys/stat.h>

#include <algorithm>

void InstallJournal::Created(const std::string& path) { created_.push_back(path); }

void InstallJournal::AccountCreated(const std::string& name) { accounts_created_.push_back(name); }

bool InstallJournal::WasAccountCreated(const std::string& name) const {
  for (const std::string& created : accounts_created_) {
    if (created == name) return true;
  }
  return false;
}

void InstallJournal::ModeChanged(const std::string& path, mode_t old_mode) {
  mode_t ignored;
  if (!OldMode(path, &ignored)) mode_changes_.push_back({path, old_mode});
}

void InstallJournal::OwnerChanged(const std::string& path, uid_t old_uid, gid_t old_gid) {
  uid_t uid;
  gid_t gid;
  if (!OldOwner(path, &uid, &gid)) owner_changes_.push_back({path, old_uid, old_gid});
}

void InstallJournal::BackupMade(const std::string& file, const std::string& older) {
  struct stat st;
  const bool identified = lstat(file.c_str(), &st) == 0;
  backups_.push_back(
      {file, identified, identified ? st.st_dev : 0, identified ? st.st_ino : 0, older});
}

void InstallJournal::Replaced(const std::string& path, const std::string& kept_as) {
  if (!kept_as.empty()) set_aside_.push_back({path, kept_as});
}

std::vector<InstallJournal::SetAside> InstallJournal::TakeSetAside() {
  std::vector<SetAside> taken;
  taken.swap(set_aside_);
  return taken;
}

bool InstallJournal::WasCreated(const std::string& path) const {
  return std::find(created_.begin(), created_.end(), path) != created_.end();
}

const InstallJournal::Backup* InstallJournal::BackupOf(const std::string& file) const {
  for (const Backup& backup : backups_) {
    if (backup.file == file) return &backup;
  }
  return nullptr;
}

bool InstallJournal::StillTheFileBackedUp(const Backup& backup) {
  struct stat st;
  return backup.identified && lstat(backup.file.c_str(), &st) == 0 && backup.device == st.st_dev &&
         backup.inode == st.st_ino;
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

bool InstallJournal::OldOwner(const std::string& path, uid_t* uid, gid_t* gid) const {
  for (const OwnerChange& change : owner_changes_) {
    if (change.path == path) {
      *uid = change.old_uid;
      *gid = change.old_gid;
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
