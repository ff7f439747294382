// The installer's road: refuse a second installation and a second installer,
// unpack the package, ask for the mail part, run the stages, restart, offer
// to start, clean up.

#include <errno.h>
#include <unistd.h>

#include <memory>
#include <string>

#include "base/console.h"
#include "base/settings.h"
#include "common/remove_dir.h"
#include "config/conf_file.h"
#include "deploy/start_at_boot.h"
#include "driver/interrupt.h"
#include "driver/stages.h"
#include "host/command.h"
#include "host/extract.h"
#include "host/files.h"
#include "host/install_lock.h"
#include "host/service_manager.h"

namespace {

bool AlreadyInstalled(Console& console) {
  if (!CanOpenForReading(kConfFile)) return false;
  console.PrintLine("Quorvane server already installed.");
  return true;
}

// Takes the lock that keeps a second installer out; false after saying why not.
bool LockOutOtherInstallers(Console& console, InstallLock& lock) {
  switch (lock.Take()) {
    case InstallLock::Result::kHeld:
      return true;
    case InstallLock::Result::kBusy:
      console.PrintLine("Another Quorvane server installation is running.");
      return false;
    case InstallLock::Result::kFailed: {
      const int error = errno;
      console.PrintLine(std::string("Can't create lock file ") + kInstallLockFile);
      console.PrintErrorText(error);
      return false;
    }
  }
  return false;
}

enum class MailAnswer { kYes, kNo, kNone };

// Asks until the answer is Y or N; kNone when standard input has ended.
MailAnswer AskMailPart(Console& console) {
  for (;;) {
    YesNo answer = AskYesNo(console, "Do you want to install sendmail controller? (Y/N): ");
    console.LineEnd();
    if (answer == YesNo::kYes) return MailAnswer::kYes;
    if (answer == YesNo::kNo) return MailAnswer::kNo;
    if (answer == YesNo::kEndOfInput) return MailAnswer::kNone;
    console.PrintLine("Illeagle value. Only give 'Y' or 'N'");
  }
}

void RestartMailDaemons(Console& console, unsigned char xinetd_flag) {
  console.PrintLine("Restarting sendmail and pop server");
  console.PrintLine("Please wait...");
  RunEchoed(JoinForShell(RestartCommand(Daemon::kSendmail)), console.out(),
            "Can't restart sendmail server");
  RunEchoed(JoinForShell(RestartCommand(xinetd_flag ? Daemon::kXinetd : Daemon::kInetd)),
            console.out(), "Can't restart pop3 server");
}

// Where the host's service manager starts services at boot, the service
// is registered with it; a failure is reported and the run goes on.
void RegisterWithServiceManager(Console& console) {
  std::string err;
  if (!RegisterForBoot(&err))
    console.PrintLine("Can't register Quorvane server to start at boot: " + err);
}

void OfferToStart(Console& console) {
  if (AskYesNo(console, "Do want to start Quorvane now? (Y/N): ") == YesNo::kYes)
    RunEchoed("/usr/bin/quorvane start", console.out());
}

}  // namespace

int main() {
  Console& console = Console::Standard();
  if (AlreadyInstalled(console)) return 1;
  InstallLock lock;
  if (!LockOutOtherInstallers(console, lock)) return 1;
  // An installation may have ended between the first look and the lock.
  if (AlreadyInstalled(console)) return 1;

  console.PrintLine("Extracting the package...");
  InstallInterruptHandler();
  const char* refusal = nullptr;
  if (Decode(&refusal) != 0) {
    if (refusal) console.PrintLine(refusal);
    console.PrintLine("Error while extracting the package");
    RemoveDir(kWorkingFolder);
    return 1;
  }

  MailAnswer mail_answer = AskMailPart(console);
  if (mail_answer == MailAnswer::kNone) {
    console.PrintLine("Installation aborted");
    RemoveDir(kWorkingFolder);
    return 1;
  }
  const unsigned char mail = mail_answer == MailAnswer::kYes ? 1 : 0;
  RunDiscarded(JoinForShell(RestartCommand(Daemon::kNamed)));

  auto settings = std::make_unique<CGeneral>(console);
  unsigned char xinetd_flag = 0;
  if (!RunStages(*settings, console, mail, &xinetd_flag)) return 1;
  settings.reset();

  if (mail) RestartMailDaemons(console, xinetd_flag);
  RegisterWithServiceManager(console);
  OfferToStart(console);
  console.PrintLine("\nUse command 'quorvane {start|stop|restart}'");
  console.PrintLine("to start, stop or restart Quorvane server.");
  if (chdir("/") != 0) {
    // The working folder is removed by its full path all the same.
  }
  RemoveDir(kWorkingFolder);
  return 0;
}
