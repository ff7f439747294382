// The service's folder tree under the installation folder, its access list
// and, with the mail part, the mail account, the mail folders and the
// virtual domain list.
// Nothing here is done through a link: a folder or list that is one fails
// the stage.

#include <errno.h>
#include <sys/stat.h>

#include <string>
#include <string_view>

#include "base/settings.h"
#include "common/layout.h"
#include "deploy/address.h"
#include "deploy/mail_account.h"
#include "host/files.h"
#include "host/replace_file.h"

namespace {

constexpr mode_t kFolderMode = 0755;

constexpr char kAccessListHead[] =
    "#This file lists the  IP of the hosts which are\n"
    "#allowed to use the Quorvane server.\n"
    "127.0.0.1\n";
constexpr char kVirtualDomainsText[] =
    "#This file is used by sendmail and it lists the \n"
    "#virtual email domains.\n";

// Prints `why` and fails the stage with the errno the failing call left.
unsigned char Fail(Console& console, const std::string& why) {
  const int error = errno;
  console.PrintLine(why);
  errno = error;
  return 1;
}

// The service reads its lists as root: writable by root only, whatever the umask allows.
mode_t ListMode() { return NewFileMode() & 0644; }

// Writes `path` with `text` (never through a link); records it when made.
unsigned char WriteList(Console& console, InstallJournal& journal, const std::string& path,
                        std::string_view text) {
  const bool existed = PathExists(path.c_str());
  std::string err;
  if (!WriteNewFile(path, text, ListMode(), &err)) return Fail(console, err);
  if (!existed) journal.Created(path);
  return 0;
}

}  // namespace

unsigned char CGeneral::GCreateFolders(unsigned char mail) {
  const std::string folder = InsFolder;
  for (const char* suffix : kInstallationSubfolders) {
    const std::string path = folder + suffix;
    if (mkdir(path.c_str(), kFolderMode) == 0) {
      journal_.Created(path);
      continue;
    }
    const int error = errno;
    if (error != EEXIST) {
      console_.PrintErrorText(error);
      errno = error;
      return 1;
    }
    // A folder taken over from an earlier installation is opened up to 0755.
    mode_t old_mode;
    if (!SetFolderMode(path.c_str(), kFolderMode, &old_mode))
      return Fail(console_, path + " is not a real folder");
    journal_.ModeChanged(path, old_mode);
  }

  // An access list left by an earlier installation keeps its addresses.
  const std::string access_list = folder + kEtcSubfolder + "/" + kAccessListFile;
  if (!CanOpenForReading(access_list.c_str())) {
    uint8_t address[4];
    if (!AskAddress(console_, address)) return 1;
    const std::string text = std::string(kAccessListHead) + FormatAddress(address) + "\n";
    if (WriteList(console_, journal_, access_list, text) != 0) return 1;
  }
  if (!mail) return 0;

  uid_t mail_uid;
  gid_t mail_gid;
  if (!EnsureMailAccount(console_, journal_, &mail_uid, &mail_gid)) return 1;
  for (const char* path : kMailFolders) {
    if (mkdir(path, kFolderMode) == 0) {
      journal_.Created(path);
      continue;
    }
    const int error = errno;
    if (error != EEXIST) {
      console_.PrintErrorText(error);
      errno = error;
      return 1;
    }
  }
  // The mail programs write the mailboxes as the mail account, never as root.
  if (!GiveSpoolToMailAccount(journal_, mail_uid, mail_gid))
    return Fail(console_, std::string(kMailSpool) + " is not a real folder");

  const std::string domains = folder + kEtcSubfolder + "/" + kVirtualDomainsFile;
  if (CanOpenForReading(domains.c_str())) return 0;
  return WriteList(console_, journal_, domains, kVirtualDomainsText);
}
