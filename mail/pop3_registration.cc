// Rules this file keeps:
// - the system file is never missing: its backup is a copy, and the new
//   file is renamed over it in one step, the old one set aside for the
//   rollback;
// - a stage that fails before the rename leaves the system file as it was;
// - the line rules live in xinetd_entry.cc and inetd_conf.cc.

#include <errno.h>

#include <string>
#include <string_view>

#include "base/paths.h"
#include "base/settings.h"
#include "host/backup_copy.h"
#include "host/replace_file.h"
#include "mail/inetd_conf.h"
#include "mail/xinetd_entry.h"

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
// `path`.qvbackup. 1 with errno set when the file cannot be read or the
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

}  // namespace

unsigned char CGeneral::Updatexinetd() {
  return RewriteSystemFile(console_, journal_, kXinetdEntry, TransformXinetdEntry, InsFolder);
}

unsigned char CGeneral::Updateinetd() {
  return RewriteSystemFile(console_, journal_, kInetdConf, TransformInetdConf, InsFolder);
}
