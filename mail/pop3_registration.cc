// Rules this file keeps:
// - the system file is never missing: its backup is a link, and the new
//   file is renamed over it in one step;
// - a stage that fails before the rename leaves the system file as it was;
// - the line rules live in xinetd_entry.cc and inetd_conf.cc.

#include <errno.h>

#include <string>
#include <string_view>

#include "base/settings.h"
#include "host/replace_file.h"
#include "mail/inetd_conf.h"
#include "mail/xinetd_entry.h"

namespace {

constexpr char kXinetdEntry[] = "/etc/xinetd.d/ipop3";
constexpr char kInetdConf[] = "/etc/inetd.conf";

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
  std::string content, err;
  if (!ReadWholeFile(path, &content, &err)) return 1;
  ReplacementFile replacement(path);
  if (!replacement.Create(&err)) return Fail(console, "can't a temporary file");
  if (!replacement.Write(transform(content, ins_folder), NewFileMode(), &err))
    return Fail(console, err);
  const std::string backup = path + ".qvbackup";
  if (!BackupFile(path, backup, &err)) return Fail(console, err);
  journal.BackupMade(path, backup);
  if (!replacement.Commit(&err)) return Fail(console, err);
  return 0;
}

}  // namespace

unsigned char CGeneral::Updatexinetd() {
  return RewriteSystemFile(console_, journal_, kXinetdEntry, TransformXinetdEntry, InsFolder);
}

unsigned char CGeneral::Updateinetd() {
  return RewriteSystemFile(console_, journal_, kInetdConf, TransformInetdConf, InsFolder);
}
