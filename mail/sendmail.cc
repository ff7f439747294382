// Rules this file keeps:
// - the live sendmail.cf (and sendmail.mc) is never missing: the backup is
//   a copy, and the new file is renamed over the live one in one step;
// - nothing is touched until the group and both paths are settled, and
//   until the host's sendmail has loaded the new configuration;
// - a file that cannot be read, written or put in place fails the stage
//   with the system call's errno, and the rollback puts the backup back.

#include <errno.h>
#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <string>

#include "base/settings.h"
#include "common/layout.h"
#include "host/accounts.h"
#include "host/backup_copy.h"
#include "host/command.h"
#include "host/files.h"
#include "host/host_files.h"
#include "host/replace_file.h"
#include "mail/sendmail_check.h"
#include "mailfiles/sendmail_mc.h"
#include "mailfiles/sendmail_options.h"
#include "mailfiles/sendmail_template.h"

namespace {

constexpr char kTemplate[] = "sendmail.cf";  // package member, in the current folder
constexpr mode_t kSendmailCfMode = 0644;
// More than any sendmail.cf m4 makes; an output this long is refused.
constexpr size_t kCfLimit = 8 * 1024 * 1024;

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

// The files the stage reads and writes, and what they held.
struct SendmailFiles {
  std::string cf, mc, domain_list;
  bool cf_existed = false;
  std::string old_cf, old_mc;
  struct stat mc_stat = {};
};

// Leaves BackupPathOf(`file`) holding the file as it stands, for the rollback.
bool BackUp(const std::string& file, InstallJournal& journal, std::string* err) {
  std::string older;
  if (!MakeBackupCopy(file, &older, err)) return false;
  journal.BackupMade(file, older);
  return true;
}

// Puts `content` in place of `file`, which the rollback puts back.
bool Replace(const std::string& file, std::string_view content, mode_t mode, bool existed,
             InstallJournal& journal, std::string* err) {
  std::string set_aside;
  if (!ReplaceFile(file, content, mode, &set_aside, err)) return false;
  if (existed)
    journal.Replaced(file, set_aside);
  else
    journal.Created(file);
  return true;
}

// The whole-file configuration from the package's template, with what binds
// sendmail to this host carried over from the file it replaces, loaded by
// the host's sendmail before it goes live.
bool WriteFromTemplate(const SendmailFiles& files, const std::string& filled,
                       InstallJournal& journal, std::string* err) {
  const std::string cf =
      KeepHostOptions(filled, files.old_cf, LearnSendmailHostFacts(filled, files.old_cf));
  if (!SendmailRoutes(files.cf, cf, files.domain_list, err)) return false;
  if (files.cf_existed && !BackUp(files.cf, journal, err)) return false;
  return Replace(files.cf, cf, kSendmailCfMode, files.cf_existed, journal, err);
}

// sendmail.cf as the host makes it from the new .mc, written to
// `new_mc_path`: m4 in the .mc's folder, as the host's Makefile runs it.
// False with `err` naming `mc` when m4 gives nothing.
bool MakeCfFromMc(const std::string& new_mc_path, const std::string& mc, const std::string& folder,
                  std::string* cf, std::string* err) {
  CommandLine command(1024);
  command.Add("cd ").AddArgument(folder).Add(" && m4 ").AddArgument(new_mc_path);
  const int status = command.fits() ? RunCaptured(command.text(), cf, kCfLimit) : -1;
  if (status == 0 && !cf->empty() && cf->size() < kCfLimit) return true;
  *err = "m4 can't make sendmail.cf from the new " + mc;
  errno = EINVAL;
  return false;
}

// The package's lines added to the host's .mc, and sendmail.cf made from it
// with the host's own m4 and loaded by the host's sendmail, before either
// file is replaced. The .mc goes in place first, so that the new
// sendmail.cf is the newer file and the host's Makefile keeps it.
bool HookThroughMc(const SendmailFiles& files, std::string_view ins_folder, InstallJournal& journal,
                   std::string* err) {
  if (!NamableInMc(ins_folder)) {
    *err = "the installation folder can't be named in " + files.mc + ": it holds a quote";
    errno = EINVAL;
    return false;
  }
  const size_t slash = files.mc.rfind('/');
  const std::string folder = slash == 0 ? "/" : files.mc.substr(0, slash);
  ReplacementFile mc(files.mc);
  std::string cf;
  if (!mc.Create(err) ||
      !mc.Write(HookedMc(files.old_mc, ins_folder), files.mc_stat.st_mode & 07777, err) ||
      !MakeCfFromMc(mc.temporary_path(), files.mc, folder, &cf, err) ||
      !SendmailRoutes(files.cf, cf, files.domain_list, err))
    return false;
  if (!BackUp(files.mc, journal, err) || !BackUp(files.cf, journal, err)) return false;
  std::string set_aside;
  if (!mc.Commit(err, &set_aside)) return false;
  journal.Replaced(files.mc, set_aside);
  return Replace(files.cf, cf, kSendmailCfMode, true, journal, err);
}

}  // namespace

unsigned char CGeneral::CheckSendmail() {
  // The installer's defaults, or where the host's distribution keeps the files.
  StoreText(SendMailCfFile, StartingPath(kSendmailCfPlaces.front(), kSendmailCfPlaces));
  StoreText(SendMailPIDFile, StartingPath(kSendmailPidPlaces.front(), kSendmailPidPlaces));

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
  SendmailFiles files;
  files.cf = SendMailCfFile;
  files.mc = McFileOf(files.cf);
  files.domain_list = std::string(InsFolder) + kEtcSubfolder + "/" + kVirtualDomainsFile;
  files.cf_existed = PathExists(files.cf.c_str());
  if (files.cf_existed && !ReadWholeFile(files.cf, &files.old_cf, &err)) return Fail(console_, err);
  const bool through_mc = files.cf_existed &&
                          ReadWholeFile(files.mc, &files.old_mc, &err, &files.mc_stat) &&
                          MadeFromMc(files.old_cf, files.old_mc);
  const bool done =
      through_mc
          ? HookThroughMc(files, InsFolder, journal_, &err)
          : WriteFromTemplate(files, FillSendmailTemplate(template_text, InsFolder, host_name),
                              journal_, &err);
  if (!done) return Fail(console_, err);

  std::string older;
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
