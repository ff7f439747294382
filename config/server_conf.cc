#include <errno.h>
#include <grp.h>
#include <pwd.h>
#include <unistd.h>

#include "base/settings.h"
#include "config/config_stages.h"
#include "config/server_folders.h"
#include "host/accounts.h"
#include "host/files.h"

namespace {

constexpr char kPortQuestion[] = "Enter tcp port for Quorvane server (Default: ";
constexpr char kDisconnectQuestion[] =
    "Enter Auto disconnect time (in seconds) for Quorvane server (Default: ";
// A TCP port the service can listen on; the dialogue refuses any other.
constexpr uint32_t kLowestPort = 1;
constexpr uint32_t kHighestPort = 65535;
constexpr char kGroup[] = "popusers";
constexpr char kUser[] = "quorvane";

// Makes sure the group popusers exists, creating it when the administrator
// agrees. False when it is missing in the end; errno says why.
bool EnsurePopusersGroup(Console& console) {
  console.Print("Checking popusers group...");
  if (getgrnam(kGroup) != nullptr) {
    console.PrintLine("OK");
    return true;
  }
  for (;;) {
    console.LineEnd();
    console.PrintLine("popusers group does not exist");
    YesNo answer = AskYesNo(console, kCreatePopusersKey, "Do you want to create it? (Y/N): ");
    if (answer == YesNo::kEndOfInput) {
      ReportEndOfInput(console);
      return false;
    }
    console.LineEnd();
    if (answer == YesNo::kYes) {
      if (addGroup(kGroup) != 0) return false;  // errno as the account command left it
      console.PrintLine("OK");
      return true;
    }
    if (answer == YesNo::kNo) {
      console.PrintLine("Create a popusers group first");
      errno = ECANCELED;
      return false;
    }
  }
}

// Makes sure the service's system user exists, with `home` as its home when
// it has to be created, and gives `home` to it when it is a real folder
// (never through a link), noting its old owner for the rollback.
bool EnsureServiceUser(Console& console, InstallJournal& journal, const char* home) {
  if (getpwnam(kUser) == nullptr && addUser(kUser, home) != 0) {
    int error = errno;  // the messages must not hide why the account command failed
    console.PrintLine("Cant' create quorvane system user");
    console.PrintLine("Create it manually and then install again");
    errno = error;
    return false;
  }
  if (const struct passwd* user = getpwnam(kUser)) {
    uid_t old_uid;
    gid_t old_gid;
    // A failure leaves the folder usable by root; the service reports what it cannot reach.
    if (SetFolderOwner(home, user->pw_uid, user->pw_gid, &old_uid, &old_gid))
      journal.OwnerChanged(home, old_uid, old_gid);
  }
  return true;
}

}  // namespace

unsigned char AskServerSettings(CGeneral& settings, Console& console, InstallJournal& journal,
                                unsigned char mail) {
  if (!AskNumber(console, kPortKey, kPortQuestion, &settings.Port, kLowestPort, kHighestPort))
    return 1;
  if (!AskNumber(console, kDisconnectTimeKey, kDisconnectQuestion, &settings.AutoDisconnectTime))
    return 1;
  if (!AskInstallationFolder(console, journal, settings.InsFolder, mail)) return 1;
  if (!mail) return 0;

  if (!EnsurePopusersGroup(console)) return 1;
  if (!AskRootFolder(console, journal, settings.RFolder, settings.InsFolder)) return 1;
  if (!EnsureServiceUser(console, journal, settings.RFolder)) return 1;
  return 0;
}
