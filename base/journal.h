#pragma once

// What this run has made or changed on the host, in order, so that the
// rollback undoes this run's work and nothing else.

#include <sys/types.h>

#include <string>
#include <vector>

class InstallJournal {
 public:
  // A folder or file (or link) that did not exist before this run.
  void Created(const std::string& path);
  // An existing path whose permission bits this run changed.
  void ModeChanged(const std::string& path, mode_t old_mode);
  // A backup copy of `file` made by this run at `backup`. Notes which file
  // `file` names at this moment (lstat), to tell later whether the run
  // replaced it.
  void BackupMade(const std::string& file, const std::string& backup);

  bool WasCreated(const std::string& path) const;
  bool MadeBackupOf(const std::string& file) const;
  // True when `file` still names the very file (or link) it named when its
  // backup copy was made: this run only copied it and never replaced it.
  bool StillTheFileBackedUp(const std::string& file) const;
  // The permission bits `path` had before this run changed them, if it did.
  bool OldMode(const std::string& path, mode_t* mode) const;
  // Paths created strictly below `folder`, newest first.
  std::vector<std::string> CreatedBelow(const std::string& folder) const;

 private:
  struct ModeChange {
    std::string path;
    mode_t old_mode;
  };
  std::vector<std::string> created_;
  std::vector<ModeChange> mode_changes_;
  struct Backup {
    std::string file;
    bool identified;  // false when `file` could not be examined
    dev_t device;
    ino_t inode;
  };
  std::vector<Backup> backups_;
};
