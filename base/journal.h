#pragma once

// What this run has made or changed on the host, in order, so that the
// rollback undoes this run's work and nothing else. It records only what
// the rollback reads.

#include <sys/types.h>

#include <string>
#include <vector>

class InstallJournal {
 public:
  // The backup copy this run made of one file.
  struct Backup {
    std::string file;
    bool identified;  // false when `file` could not be examined
    dev_t device;
    ino_t inode;
    std::string older;  // where an earlier run's backup was moved, or ""
  };
  // A path this run replaced, and the hard link that keeps what was there.
  struct SetAside {
    std::string path;
    std::string kept_as;
  };

  // A folder or file (or link) that did not exist before this run.
  void Created(const std::string& path);
  // An existing path whose permission bits this run changed (the first
  // change is the one remembered).
  void ModeChanged(const std::string& path, mode_t old_mode);
  // An existing folder this run gave to another owner.
  void OwnerChanged(const std::string& path, uid_t old_uid, gid_t old_gid);
  // A backup copy of `file` made by this run; `older` is where an earlier
  // backup was moved ("" when there was none). Notes which file `file`
  // names at this moment (lstat), to tell later whether the run replaced it.
  void BackupMade(const std::string& file, const std::string& older);
  // `path` was replaced; what it named is kept as `kept_as` until the run ends.
  void Replaced(const std::string& path, const std::string& kept_as);
  // A system account that did not exist before this run.
  void AccountCreated(const std::string& name);

  bool WasCreated(const std::string& path) const;
  bool WasAccountCreated(const std::string& name) const;
  // The backup this run made of `file`, or nullptr.
  const Backup* BackupOf(const std::string& file) const;
  // True when the backed-up file still names the very file (or link) it
  // named when its backup copy was made: this run only copied it.
  static bool StillTheFileBackedUp(const Backup& backup);
  // The permission bits `path` had before this run changed them, if it did.
  bool OldMode(const std::string& path, mode_t* mode) const;
  // The owner `path` had before this run changed it, if it did.
  bool OldOwner(const std::string& path, uid_t* uid, gid_t* gid) const;
  // Paths created strictly below `folder`, newest first.
  std::vector<std::string> CreatedBelow(const std::string& folder) const;
  // Every replaced path, oldest first, handed over once: to the rollback,
  // which puts them back, or at the end of a run, which drops them.
  std::vector<SetAside> TakeSetAside();

 private:
  struct ModeChange {
    std::string path;
    mode_t old_mode;
  };
  struct OwnerChange {
    std::string path;
    uid_t old_uid;
    gid_t old_gid;
  };
  std::vector<std::string> created_;
  std::vector<std::string> accounts_created_;
  std::vector<ModeChange> mode_changes_;
  std::vector<OwnerChange> owner_changes_;
  std::vector<Backup> backups_;
  std::vector<SetAside> set_aside_;
};
