// The installer's road: refuse a second installation and a second installer,
// unpack the package, ask for the mail part, run the stages, restart, offer
// to start, clean up.

#include <errno.h>
#include <stdio.h>
#include <unistd.h>

#include <memory>
#include <string>

#include "base/answer_file.h"
#include "base/console.h"
#include "base/settings.h"
#include "common/layout.h"
#include "common/remove_dir.h"
#include "common/service_manager.h"
#include "config/conf_file.h"
#include "deploy/start_at_boot.h"
#include "driver/arguments.h"
#include "driver/interrupt.h"
#include "driver/stages.h"
#include "host/command.h"
#include "host/decode_tool.h"
#include "host/extract.h"
#include "host/files.h"
#include "host/install_lock.h"
#include "host/replace_file.h"
#include "payload/payload.h"

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

// Asks until the answer is Y or N; kNone when the answers have ended.
MailAnswer AskMailPart(Console& console) {
  for (;;) {
    YesNo answer =
        AskYesNo(console, kMailKey, "Do you want to install sendmail controller? (Y/N): ");
    if (answer == YesNo::kEndOfInput) {
      ReportEndOfInput(console);
      return MailAnswer::kNone;
    }
    console.LineEnd();
    if (answer == YesNo::kYes) return MailAnswer::kYes;
    if (answer == YesNo::kNo) return MailAnswer::kNo;
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
  if (AskYesNo(console, kStartKey, "Do want to start Quorvane now? (Y/N): ") == YesNo::kYes)
    RunEchoed(std::string(kQuorvaneCommand) + " start", console.out());
}

// Answers --help and --version, refuses what it does not know, and reads
// the answer file; -1 when the installation is to go on.
int TakeArguments(int argc, char** argv, Console& console, AnswerFile* answers) {
  const Arguments args = ParseArguments(argc, argv);
  switch (args.action) {
    case Arguments::Action::kHelp:
      fputs(kInstallerUsage, stdout);
      return 0;
    case Arguments::Action::kVersion:
      printf("qvinstall %s\n", QV_VERSION);
      return 0;
    case Arguments::Action::kUsageError:
      fputs(kInstallerUsage, stderr);
      return 2;
    case Arguments::Action::kInstall:
      break;
  }
  // Before the lock and the first look at the host: nothing is touched for
  // a user who cannot install, nor for an answer file that will not serve.
  if (geteuid() != 0) {
    console.PrintLine("qvinstall must be run as root");
    return 1;
  }
  if (!args.answer_file) return -1;
  std::string text, err;
  if (!ReadWholeFile(args.answer_file, &text, &err) ||
      !ParseAnswerFile(text, args.answer_file, answers, &err)) {
    console.PrintLine(err);
    return 1;
  }
  console.AnswerFrom(answers);
  return -1;
}

}  // namespace

int main(int argc, char** argv) {
  Console& console = Console::Standard();
  AnswerFile answers;
  if (int status = TakeArguments(argc, argv, console, &answers); status >= 0) return status;
  if (AlreadyInstalled(console)) return 1;
  InstallLock lock;
  if (!LockOutOtherInstallers(console, lock)) return 1;
  // An installation may have ended between the first look and the lock.
  if (AlreadyInstalled(console)) return 1;

  console.PrintLine("Extracting the package...");
  InstallInterruptHandler();
  std::string refusal;
  if (Decode(InstallerFolder(), std::string_view(kPayloadText, kPayloadTextSize), &refusal) != 0) {
    if (!refusal.empty()) console.PrintLine(refusal);
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
