// qvremove: takes the Quorvane server off this host, undoing what the
// installer did, so that the installer can run again.
//   qvremove [--purge]
// It asks once (the answer may come on standard input), stops the service,
// and removes in an order in which every step can be repeated: an
// interrupted run is finished by running it again. The configuration file
// goes last, and only when every step succeeded.

#include <errno.h>
#include <pwd.h>
#include <signal.h>
#include <stdio.h>
#include <string.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <iostream>
#include <set>
#include <string>
#include <vector>

#include "common/layout.h"
#include "common/mail_account.h"
#include "common/service_manager.h"
#include "mailfiles/sendmail_mc.h"
#include "payload/quorvane/pid_file.h"
#include "payload/qvremove/boot_unregistration.h"
#include "payload/qvremove/package_files.h"
#include "payload/qvremove/rewritten_files.h"
#include "payload/qvremove/run_command.h"
#include "payload/qvsml/safe_name.h"
#include "payload/qvsml/service_conf.h"

namespace {

constexpr char kServiceUser[] = "quorvane";

struct Removal {
  ServiceConf conf;
  bool mail = false;
  bool purge = false;
  bool ok = true;
  std::vector<std::string> notes;
  std::set<std::string> init_scripts;  // to restart, for files put back
};

bool Confirm(const char* question) {
  printf("%s", question);
  fflush(stdout);
  std::string answer;
  if (!std::getline(std::cin, answer)) answer.clear();
  if (!answer.empty() && answer.back() == '\r') answer.pop_back();
  return strcasecmp(answer.c_str(), "y") == 0;
}

void StopService(Removal& removal) {
  std::string err;
  switch (StopDaemon(PidFilePath(removal.conf.InsFolder), &err)) {
    case StopResult::kStopped:
      printf("Quorvane server stopped\n");
      break;
    case StopResult::kNotRunning:
      break;
    case StopResult::kFailed:
      removal.notes.push_back(err);
      removal.ok = false;
      break;
  }
}

// The daemon whose System V script in /etc/rc.d/init.d has this name.
Daemon DaemonOfScript(const std::string& script) {
  if (script == "sendmail") return Daemon::kSendmail;
  if (script == "xinetd") return Daemon::kXinetd;
  if (script == "inet") return Daemon::kInetd;
  return Daemon::kNamed;
}

// Restarts through the script or unit the host has (common/service_manager).
void RestartDaemons(const Removal& removal) {
  for (const std::string& script : removal.init_scripts) {
    std::string output;
    if (!RunCommand(RestartCommand(DaemonOfScript(script)), &output)) {
      printf("Can't restart %s\n", script.c_str());
    }
    printf("%s", output.c_str());
  }
}

// Puts back the .mc the installer hooked sendmail through, and sendmail.cf
// with it; true when `file` was handled so.
bool RestoreThroughMc(Removal& removal, const RewrittenFile& file) {
  if (file.init_script != "sendmail") return false;
  std::string err;
  const std::string mc = McFileOf(file.path);
  switch (RestoreHookedMc(file.path, removal.conf.InsFolder, &err)) {
    case RestoreOutcome::kNoBackup:
      return false;
    case RestoreOutcome::kRestored:
      printf("Put back %s\n", mc.c_str());
      printf("Put back %s\n", file.path.c_str());
      removal.init_scripts.insert(file.init_script);
      break;
    case RestoreOutcome::kChanged:
      removal.notes.push_back("left " + mc + " and " + file.path +
                              ": the .mc changed after the installation; the host's earlier "
                              "files are their " +
                              kBackupSuffix + " copies");
      break;
    case RestoreOutcome::kFailed:
      removal.notes.push_back(err);
      removal.ok = false;
      break;
  }
  return true;
}

void RestoreSystemFiles(Removal& removal) {
  for (const RewrittenFile& file : MailPartFiles()) {
    if (RestoreThroughMc(removal, file)) continue;
    std::string err;
    switch (RestoreRewrittenFile(file, removal.conf.InsFolder, &err)) {
      case RestoreOutcome::kNoBackup:
        break;
      case RestoreOutcome::kRestored:
        printf("Put back %s\n", file.path.c_str());
        removal.init_scripts.insert(file.init_script);
        break;
      case RestoreOutcome::kChanged:
        removal.notes.push_back("left " + file.path +
                                ": it changed after the installation; the host's earlier file "
                                "is " +
                                file.path + kBackupSuffix);
        break;
      case RestoreOutcome::kFailed:
        removal.notes.push_back(err);
        removal.ok = false;
        break;
    }
  }
  // The installer made an empty conf.linuxconf where there was none.
  struct stat st, backup;
  if (lstat(kLinuxConf, &st) == 0 && S_ISREG(st.st_mode) && st.st_size == 0 &&
      lstat((std::string(kLinuxConf) + kBackupSuffix).c_str(), &backup) != 0) {
    unlink(kLinuxConf);
  }
}

// A daemon whose file is put back is restarted before an interrupt can end
// the run: a later run would find nothing to put back, and not restart it.
void PutBackSystemFiles(Removal& removal) {
  sigset_t stop_signals, old_mask;
  sigemptyset(&stop_signals);
  for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) sigaddset(&stop_signals, sig);
  sigprocmask(SIG_BLOCK, &stop_signals, &old_mask);
  RestoreSystemFiles(removal);
  RestartDaemons(removal);
  sigprocmask(SIG_SETMASK, &old_mask, nullptr);
}

// The installer made the user with the root folder as its home; a user of
// that name with another home is not the installer's.
void DeleteServiceUser(Removal& removal) {
  struct passwd* user = getpwnam(kServiceUser);
  if (!user) return;
  if (removal.conf.RFolder != user->pw_dir) {
    removal.notes.push_back(std::string("left the user ") + kServiceUser + ": its home is " +
                            user->pw_dir + ", not " + removal.conf.RFolder);
    return;
  }
  std::string output;
  RunCommand({"/usr/sbin/userdel", kServiceUser}, &output);
  if (getpwnam(kServiceUser)) {
    printf("Can't delete quorvane system user\nDelete it manually\n");
    removal.ok = false;
  }
}

// The installer made the mail account with the spool as its home. While
// mailboxes are kept, so is the account that owns them: a new account
// might get another user id.
void DeleteMailAccount(Removal& removal) {
  const struct passwd* account = getpwnam(kMailAccount);
  if (!account) return;
  if (std::string(account->pw_dir) != kMailSpool) {
    removal.notes.push_back(std::string("left the user ") + kMailAccount + ": its home is " +
                            account->pw_dir + ", not " + kMailSpool);
    return;
  }
  struct stat st;
  if (lstat(kMailSpool, &st) == 0) {
    removal.notes.push_back(std::string("kept the user ") + kMailAccount +
                            ": it owns the mailboxes kept in " + kMailSpool);
    return;
  }
  std::string output;
  RunCommand({"/usr/sbin/userdel", kMailAccount}, &output);
  if (getpwnam(kMailAccount)) {
    printf("Can't delete %s system user\nDelete it manually\n", kMailAccount);
    removal.ok = false;
  }
}

void RemoveMailFolders(Removal& removal) {
  for (const char* folder : {kMailSpool, kUserListFolder}) {
    std::string err;
    if (removal.purge && !RemoveTree(folder, &err)) {
      removal.notes.push_back("cannot remove " + err);
      removal.ok = false;
      continue;
    }
    removal.ok = RemoveEmptyFolder(folder,
                                   "it holds mailboxes or user lists (qvremove --purge "
                                   "removes them)",
                                   &removal.notes) &&
                 removal.ok;
  }
}

// The usage on `to`; `status` is the program's exit status.
int Usage(FILE* to, int status) {
  fprintf(to,
          "usage: qvremove [--purge]\n"
          "       qvremove --help | --version\n"
          "Takes the Quorvane server off this host; --purge also removes the mailboxes\n"
          "and user lists.\n");
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  setvbuf(stdout, nullptr, _IOLBF, 0);  // each step shows as it is done
  Removal removal;
  const char* arg = argc == 2 ? argv[1] : "";
  if (strcmp(arg, "--help") == 0) return Usage(stdout, 0);
  if (strcmp(arg, "--version") == 0) {
    printf("qvremove %s\n", QV_VERSION);
    return 0;
  }
  if (argc > 2 || (argc == 2 && strcmp(arg, "--purge") != 0)) return Usage(stderr, 2);
  removal.purge = argc == 2;

  std::string err;
  struct stat st;
  if (lstat(kConfFile, &st) != 0) {
    printf("Quorvane server is not installed; nothing to remove.\n");
    return 0;
  }
  if (!ReadServiceConf(kConfFile, &removal.conf, &err)) {
    fprintf(stderr, "qvremove: %s\n", err.c_str());
    return 1;
  }
  removal.mail = !removal.conf.SendMailPIDFile.empty();
  if (!Confirm("Remove Quorvane server from this host? (Y/N): ") ||
      (removal.purge && !Confirm("Remove all mailboxes and user lists too? (Y/N): "))) {
    printf("Nothing removed.\n");
    return 1;
  }

  StopService(removal);
  removal.ok = UnregisterFromBoot(&removal.notes) && removal.ok;
  removal.ok = RemovePackageLinks(removal.conf.InsFolder, &removal.notes) && removal.ok;
  if (removal.mail) {
    PutBackSystemFiles(removal);
    DeleteServiceUser(removal);
  }
  removal.ok = RemoveInstallationFolder(removal.conf.InsFolder, &removal.notes) && removal.ok;
  if (removal.mail) {
    removal.ok =
        RemoveEmptyFolder(removal.conf.RFolder, "it is not empty", &removal.notes) && removal.ok;
    RemoveMailFolders(removal);
    DeleteMailAccount(removal);
  }
  for (const std::string& note : removal.notes) printf("%s\n", note.c_str());
  if (!removal.ok) {
    printf("Quorvane server not completely removed; run qvremove again once the cause is fixed.\n");
    return 1;
  }
  if (unlink(kConfFile) != 0) {
    fprintf(stderr, "qvremove: %s: %s\n", kConfFile, strerror(errno));
    return 1;
  }
  printf("Quorvane server removed.\n");
  return 0;
}
