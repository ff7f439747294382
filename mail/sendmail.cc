// Rules this file keeps:
// - the live sendmail.cf is never missing: the backup is a copy, and the
//   new file is renamed over the live one in one step;
// - nothing is touched until the group and both paths are settled;
// - a file that cannot be read, written or put in place fails the stage
//   with the system call's errno, and the rollback puts the backup back.

#include <errno.h>
#include <fcntl.h>
#include <grp.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <string>

#include "base/paths.h"
#include "base/settings.h"
#include "host/accounts.h"
#include "host/backup_copy.h"
#include "host/files.h"
#include "host/replace_file.h"
#include "mail/sendmail_template.h"

namespace {

constexpr char kTemplate[] = "sendmail.cf";  // package member, in the current folder
constexpr mode_t kSendmailCfMode = 0644;

enum class GroupCheck { kPresent, kCreated, kFailed };

// Makes sure the group "mail" exists, offering to create it.
GroupCheck EnsureMailGroup(Console& console) {
  console.Print("Checking mail group...");
  if (getgrnam("mail") == nullptr) {
    for (;;) {
      console.PrintLine("mail group does not exist");
      YesNo answer = AskYesNo(console, kCreateMailGroupKey, "Do you want to create it? (Y/N): ");
      if (answer == YesNo::kEndOfInput) {
        ReportEndOfInput(console);
        return GroupCheck::kFailed;
      }
      console.LineEnd();
      if (answer == YesNo::kNo) {
        console.PrintLine("Create a mail group first");
        errno = ECANCELED;
        return GroupCheck::kFailed;
      }
      if (answer == YesNo::kYes) break;
    }
    if (addGroup("mail") != 0) return GroupCheck::kFailed;
    console.Print("\tOK");
    console.LineEnd();
    return GroupCheck::kCreated;
  }
  console.Print("\tOK");
  console.LineEnd();
  return GroupCheck::kPresent;
}

// The node name, or "" (after saying so) when the system does not tell.
std::string HostName(Console& console) {
  struct utsname names;
  if (uname(&names) != 0) {
    console.PrintLine("Can't get system information");
    return "";
  }
  return names.nodename;
}

// Says why the stage fails, keeping the failing call's errno for the driver.
unsigned char Fail(Console& console, const std::string& why) {
  const int error = errno;
  console.PrintLine(why);
  errno = error;
  return 1;
}

}  // namespace

unsigned char CGeneral::CheckSendmail() {
  StoreText(SendMailCfFile, "/etc/sendmail.cf");
  StoreText(SendMailPIDFile, "/var/run/sendmail.pid");

  if (EnsureMailGroup(console_) == GroupCheck::kFailed) return 1;

  console_.Print("Checking sendmail configurationg file...");
  if (!ConfirmPath(console_, kSendmailCfKey, SendMailCfFile,
                   "Is this the correct path of sendmail.cf file? ( Y/N ): ",
                   "Enter full path of sendmail.cf file: "))
    return 1;
  console_.Print("Checking sendmail process id file...\t");
  if (!ConfirmPath(console_, kSendmailPidKey, SendMailPIDFile,
                   "Is this the correct path of sendmail.pid file? ( Y/N ): ",
                   "Enter full path of sendmail.pid file: "))
    return 1;

  const std::string host_name = HostName(console_);

  // The template is read before anything is touched, so an unreadable one
  // leaves the live file and any older backup as they were.
  std::string template_text, err;
  if (!ReadWholeFile(kTemplate, &template_text, &err)) return Fail(console_, err);
  const std::string cf_file = SendMailCfFile;
  const bool existed = PathExists(cf_file.c_str());
  std::string older;
  if (existed) {
    if (!MakeBackupCopy(cf_file, &older, &err)) return Fail(console_, err);
    journal_.BackupMade(cf_file, older);
  }
  std::string set_aside;
  if (!ReplaceFile(cf_file, FillSendmailTemplate(template_text, InsFolder, host_name),
                   kSendmailCfMode, &set_aside, &err))
    return Fail(console_, err);
  if (existed)
    journal_.Replaced(cf_file, set_aside);
  else
    journal_.Created(cf_file);

  if (CanOpenForReading(kLinuxConf)) {
    if (MakeBackupCopy(kLinuxConf, &older, &err)) journal_.BackupMade(kLinuxConf, older);
  } else {
    // O_EXCL: a path that exists but does not open (a dangling link) is left alone.
    int fd = open(kLinuxConf, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0664);
    if (fd >= 0) {
      close(fd);
      journal_.Created(kLinuxConf);
    }
  }
  return 0;
}
