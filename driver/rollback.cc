// Rules this file keeps:
// - never leave a system file missing: what the run replaced goes back
//   with one rename over the path, which replaces it atomically;
// - restore only what this run replaced and the backup copies this run
//   made, and give an older backup its name back;
// - remove only what this run created, except where a failure stage says
//   otherwise (the system user, the mail folders and the root folder when
//   this run made them and they are empty, the service command); the mail
//   account goes only when this run made it;
// - never follow a link to change a mode or an owner back;
// - an installation folder the administrator took over keeps what it held.

#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "base/settings.h"
#include "common/layout.h"
#include "common/mail_account.h"
#include "common/remove_dir.h"
#include "host/accounts.h"
#include "host/backup_copy.h"
#include "host/extract.h"
#include "host/files.h"
#include "mailfiles/sendmail_mc.h"

namespace {

// Puts every replaced path back as it was, newest first.
void PutBackReplaced(InstallJournal& journal) {
  const auto set_aside = journal.TakeSetAside();
  for (auto it = set_aside.rbegin(); it != set_aside.rend(); ++it)
    rename(it->kept_as.c_str(), it->path.c_str());
}

void RestoreBackup(const InstallJournal& journal, const std::string& file) {
  const InstallJournal::Backup* made = journal.BackupOf(file);
  if (!made) return;  // a copy from an earlier run stays as it is
  const std::string backup = BackupPathOf(file);
  if (ProbeForReading(backup.c_str()) == ReadProbe::kRegularFile) {
    // A file the run only copied, or one put back from where it was set
    // aside, is the original with its owner, mode and link: the copy goes.
    if (InstallJournal::StillTheFileBackedUp(*made))
      remove(backup.c_str());
    else
      rename(backup.c_str(), file.c_str());
  }
  if (!made->older.empty() && !PathExists(backup.c_str()))
    rename(made->older.c_str(), backup.c_str());
}

void RestoreMode(const InstallJournal& journal, const std::string& path) {
  mode_t old_mode;
  if (journal.OldMode(path, &old_mode)) SetFolderMode(path.c_str(), old_mode);
}

// Removes a folder this run made; gives one it found back to its owner,
// with its old mode.
void UndoFolder(const InstallJournal& journal, const std::string& path) {
  uid_t uid;
  gid_t gid;
  if (journal.WasCreated(path)) {
    remove(path.c_str());
    return;
  }
  if (journal.OldOwner(path, &uid, &gid)) SetFolderOwner(path.c_str(), uid, gid);
  RestoreMode(journal, path);
}

// Removes the installation folder's tree when this run made the folder;
// otherwise only what this run made inside it, and puts modes back.
void RemoveInstallation(const InstallJournal& journal, const std::string& folder) {
  if (journal.WasCreated(folder)) {
    RemoveDir(folder.c_str());
    return;
  }
  for (const std::string& path : journal.CreatedBelow(folder)) {
    struct stat st;
    if (lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
      RemoveDir(path.c_str());
    else
      remove(path.c_str());
  }
  for (const char* sub : kInstallationSubfolders) RestoreMode(journal, folder + sub);
  RestoreMode(journal, folder);
}

}  // namespace

void CGeneral::QVRemove(unsigned char stage, unsigned char mail) {
  // The working folder goes; the account tools must not start in it.
  if (chdir("/") != 0) {
    // Nothing to do: the removals below go on regardless.
  }
  RemoveDir(kWorkingFolder);
  PutBackReplaced(journal_);
  if (mail) UndoFolder(journal_, RFolder);
  if (journal_.WasCreated(InsFolder))
    remove(InsFolder);
  else
    RestoreMode(journal_, InsFolder);
  if (stage == 0) return;

  RestoreBackup(journal_, NamedConfFile);
  if (mail) {
    for (const std::string& file :
         {std::string(SendMailCfFile), McFileOf(SendMailCfFile), std::string(kXinetdEntry),
          std::string(kInetdConf), std::string(kLinuxConf)})
      RestoreBackup(journal_, file);
    // An xinetd entry this run made where the host had none.
    if (journal_.WasCreated(kXinetdEntry)) remove(kXinetdEntry);
    if (stage == 1) return;
    if (Userdel("quorvane") != 0) {
      console_.PrintLine("Can't delete quorvane system user");
      console_.PrintLine("Delete it manually");
    }
    if (journal_.WasAccountCreated(kMailAccount) && Userdel(kMailAccount) != 0) {
      console_.PrintLine(std::string("Can't delete ") + kMailAccount + " system user");
      console_.PrintLine("Delete it manually");
    }
  }
  if (stage > 4 && journal_.WasCreated(kQuorvaneCommand)) remove(kQuorvaneCommand);
  if (stage == 6 && journal_.WasCreated(kConfFile)) remove(kConfFile);
  if (mail) {
    for (const char* folder : kMailFolders) UndoFolder(journal_, folder);
  }
  RemoveInstallation(journal_, InsFolder);
}
