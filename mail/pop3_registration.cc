// Rules this file keeps:
// - the system file is never missing: its backup is a copy, and the new
//   file is renamed over it in one step, the old one set aside for the
//   rollback;
// - a stage that fails before the rename leaves the system file as it was;
// - an xinetd entry made where there was none is a new file the run
//   creates itself, and the rollback removes it;
// - the line rules live in xinetd_entry.cc and inetd_conf.cc.

#include <errno.h>
#include <sys/stat.h>

#include <string>
#include <string_view>

#include "base/settings.h"
#include "common/layout.h"
#include "common/service_manager.h"
#include "host/backup_copy.h"
#include "host/files.h"
#include "host/replace_file.h"
#include "mailfiles/inetd_conf.h"
#include "mailfiles/xinetd_entry.h"

namespace {

// Says why the stage fails, keeping the failing call's errno for the driver.
unsigned char Fail(Console& console, const std::string& why) {
  const int error = errno;
  console.PrintLine(why);
  errno = error;
  return 1;
}

using Transform = std::string (*)(std::string_view content, std::string_view ins_folder);

// Rewrites `path` through `transform`, keeping the old file as
// BackupPathOf(`path`). 1 with errno set when the file cannot be read or the
// new one cannot be put in place.
unsigned char RewriteSystemFile(Console& console, InstallJournal& journal, const std::string& path,
                                Transform transform, std::string_view ins_folder) {
  std::string content, err, older, set_aside;
  if (!ReadWholeFile(path, &content, &err)) return 1;
  if (!MakeBackupCopy(path, &older, &err)) return Fail(console, err);
  journal.BackupMade(path, older);
  if (!ReplaceFile(path, transform(content, ins_folder), NewFileMode(), &set_aside, &err))
    return Fail(console, err);
  journal.Replaced(path, set_aside);
  return 0;
}

constexpr char kXinetdEntryMember[] = "ipop3";  // package member, in the current folder

// xinetd is installed and reads its entries from /etc/xinetd.d.
bool XinetdInstalled() {
  struct stat st;
  return !FirstExecutable({"/usr/sbin/xinetd"}).empty() && stat("/etc/xinetd.d", &st) == 0 &&
         S_ISDIR(st.st_mode);
}

// Writes the package's own entry, rewritten as an existing one would be, as
// the xinetd entry of a host whose xinetd has none. 1 with errno set when
// xinetd is not installed or the entry cannot be made.
unsigned char MakeXinetdEntry(Console& console, InstallJournal& journal,
                              std::string_view ins_folder) {
  std::string member, err;
  if (!XinetdInstalled()) {
    errno = ENOENT;
    return 1;
  }
  if (!ReadWholeFile(kXinetdEntryMember, &member, &err)) return Fail(console, err);
  if (!WriteNewFile(kXinetdEntry, TransformXinetdEntry(member, ins_folder), NewFileMode(), &err))
    return Fail(console, err);
  journal.Created(kXinetdEntry);
  return 0;
}

}  // namespace

unsigned char CGeneral::Updatexinetd() {
  if (!PathExists(kXinetdEntry)) return MakeXinetdEntry(console_, journal_, InsFolder);
  return RewriteSystemFile(console_, journal_, kXinetdEntry, TransformXinetdEntry, InsFolder);
}

unsigned char CGeneral::Updateinetd() {
  return RewriteSystemFile(console_, journal_, kInetdConf, RegisterPop3InInetdConf, InsFolder);
}
