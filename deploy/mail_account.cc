#include "deploy/mail_account.h"

#include <errno.h>
#include <pwd.h>

#include <string>

#include "common/layout.h"
#include "common/mail_account.h"
#include "host/accounts.h"
#include "host/files.h"

namespace {

constexpr mode_t kSpoolMode = 0700;

}  // namespace

bool EnsureMailAccount(Console& console, InstallJournal& journal, uid_t* uid, gid_t* gid) {
  const std::string name = kMailAccount;
  if (!getpwnam(kMailAccount)) {
    if (addUser(kMailAccount, kMailSpool) != 0) {
      const int error = errno;  // the messages must not hide why the account command failed
      console.PrintLine("Can't create " + name + " system user");
      console.PrintLine("Create it manually and then install again");
      errno = error;
      return false;
    }
    journal.AccountCreated(kMailAccount);
  }
  const struct passwd* account = getpwnam(kMailAccount);
  if (!account) return false;  // errno as the account database left it
  // Root's ids would make every mail program root again.
  if (account->pw_uid == 0 || account->pw_gid == 0) {
    console.PrintLine("The " + name + " system user may not have root's user or group id");
    errno = EPERM;
    return false;
  }
  *uid = account->pw_uid;
  *gid = account->pw_gid;
  return true;
}

bool GiveSpoolToMailAccount(InstallJournal& journal, uid_t uid, gid_t gid) {
  uid_t old_uid;
  gid_t old_gid;
  mode_t old_mode;
  if (!SetFolderOwner(kMailSpool, uid, gid, &old_uid, &old_gid)) return false;
  if (!journal.WasCreated(kMailSpool)) journal.OwnerChanged(kMailSpool, old_uid, old_gid);
  if (!SetFolderMode(kMailSpool, kSpoolMode, &old_mode)) return false;
  if (!journal.WasCreated(kMailSpool)) journal.ModeChanged(kMailSpool, old_mode);
  return true;
}
