// Rules this file keeps:
// - never leave a system file missing: a backup copy goes back with one
//   rename over the file, which replaces it atomically;
// - restore only the backup copies this run made;
// - remove only what this run created, except where a failure stage says
//   otherwise (the system user, the mail folders and the root folder when
//   empty, /usr/bin/quorvane);
// - an installation folder the administrator took over keeps what it held.

#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "base/settings.h"
#include "config/conf_file.h"
#include "host/accounts.h"
#include "host/extract.h"
#include "host/files.h"
#include "host/remove_dir.h"

namespace {

void RestoreBackup(const InstallJournal& journal, const std::string& file) {
  if (!journal.MadeBackupOf(file)) return;  // a copy from an earlier run stays as it is
  std::string backup = file + ".qvbackup";
  if (!CanOpenForReading(backup.c_str())) return;
  // A file this run only copied (named.conf, conf.linuxconf) is still the
  // original: renaming the copy over it would give it the copy's owner and
  // mode, and turn a link into a plain file. The copy goes instead.
  if (journal.StillTheFileBackedUp(file)) {
    remove(backup.c_str());
    return;
  }
  rename(backup.c_str(), file.c_str());
}

void RestoreMode(const InstallJournal& journal, const std::string& path) {
  mode_t old_mode;
  if (journal.OldMode(path, &old_mode)) chmod(path.c_str(), old_mode);
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
  for (const char* sub : {"/etc", "/log", "/bin"}) RestoreMode(journal, folder + sub);
  RestoreMode(journal, folder);
}

}  // namespace

void CGeneral::QVRemove(unsigned char stage, unsigned char mail) {
  // The working folder goes; the account tools must not start in it.
  if (chdir("/") != 0) {
    // Nothing to do: the removals below go on regardless.
  }
  RemoveDir(kWorkingFolder);
  if (mail) remove(RFolder);
  if (journal_.WasCreated(InsFolder))
    remove(InsFolder);
  else
    RestoreMode(journal_, InsFolder);
  if (stage == 0) return;

  RestoreBackup(journal_, NamedConfFile);
  if (mail) {
    RestoreBackup(journal_, SendMailCfFile);
    RestoreBackup(journal_, "/etc/xinetd.d/ipop3");
    RestoreBackup(journal_, "/etc/inetd.conf");
    RestoreBackup(journal_, "/etc/conf.linuxconf");
    if (stage == 1) return;
    if (Userdel("quorvane") != 0) {
      console_.PrintLine("Can't delete quorvane system user");
      console_.PrintLine("Delete it manually");
    }
  }
  if (stage > 4) remove("/usr/bin/quorvane");
  if (stage == 6 && journal_.WasCreated(kConfFile)) remove(kConfFile);
  if (mail) {
    remove("/etc/vmail");
    remove("/var/spool/vmail");
  }
  RemoveInstallation(journal_, InsFolder);
}
