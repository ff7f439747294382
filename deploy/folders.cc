// The service's folder tree under the installation folder, its access list
// and, with the mail part, the mail account, the mail folders and the
// virtual domain list.
// Nothing here is done through a link: a folder or list that is one fails
// the stage.

#include <errno.h>
#include <sys/stat.h>

#include <string>
#include <string_view>

#include "base/journaled_files.h"
#include "base/settings.h"
#include "common/layout.h"
#include "deploy/address.h"
#include "deploy/deploy_stages.h"
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

// The service reads its lists as root: writable by root only, whatever the umask allows.
mode_t ListMode() { return NewFileMode() & 0644; }

// Writes `path` with `text` (never through a link); records it when made.
unsigned char WriteList(Console& console, InstallJournal& journal, const std::string& path,
                        std::string_view text) {
  const bool existed = PathExists(path.c_str());
  std::string err;
  if (!WriteNewFile(path, text, ListMode(), &err)) return FailStage(console, err);
  if (!existed) journal.Created(path);
  return 0;
}

// Makes `path` a folder of this run, or finds something already there
// (`found`). False, after printing the error text, when neither.
bool MakeOrFindFolder(Console& console, InstallJournal& journal, const std::string& path,
                      bool* found) {
  *found = false;
  if (MakeFolderJournaled(path, kFolderMode, journal)) return true;
  const int error = errno;
  if (error == EEXIST) {
    *found = true;
    return true;
  }
  console.PrintErrorText(error);
  errno = error;
  return false;
}

}  // namespace

unsigned char CreateServiceFolders(const CGeneral& settings, Console& console,
                                   InstallJournal& journal, unsigned char mail) {
  const std::string folder = settings.InsFolder;
  for (const char* suffix : kInstallationSubfolders) {
    const std::string path = folder + suffix;
    bool found;
    if (!MakeOrFindFolder(console, journal, path, &found)) return 1;
    if (!found) continue;
    // A folder taken over from an earlier installation is opened up to 0755.
    mode_t old_mode;
    if (!SetFolderMode(path.c_str(), kFolderMode, &old_mode))
      return FailStage(console, path + " is not a real folder");
    journal.ModeChanged(path, old_mode);
  }

  // An access list left by an earlier installation keeps its addresses.
  const std::string access_list = folder + kEtcSubfolder + "/" + kAccessListFile;
  if (!CanOpenForReading(access_list.c_str())) {
    uint8_t address[4];
    if (!AskAddress(console, address)) return 1;
    const std::string text = std::string(kAccessListHead) + FormatAddress(address) + "\n";
    if (WriteList(console, journal, access_list, text) != 0) return 1;
  }
  if (!mail) return 0;

  uid_t mail_uid;
  gid_t mail_gid;
  if (!EnsureMailAccount(console, journal, &mail_uid, &mail_gid)) return 1;
  for (const char* path : kMailFolders) {
    bool found;  // a mail folder already there is used as it is
    if (!MakeOrFindFolder(console, journal, path, &found)) return 1;
  }
  // The mail programs write the mailboxes as the mail account, never as root.
  if (!GiveSpoolToMailAccount(journal, mail_uid, mail_gid))
    return FailStage(console, std::string(kMailSpool) + " is not a real folder");

  const std::string domains = folder + kEtcSubfolder + "/" + kVirtualDomainsFile;
  if (CanOpenForReading(domains.c_str())) return 0;
  return WriteList(console, journal, domains, kVirtualDomainsText);
}
