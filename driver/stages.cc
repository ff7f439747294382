#include "driver/stages.h"

#include <errno.h>

#include "base/console.h"
#include "base/settings.h"
#include "common/service_manager.h"
#include "host/command.h"
#include "host/running_command.h"

namespace {

// What the driver prints around a stage, and how far a failure of it got.
struct StageTexts {
  const char* progress_line;
  const char* error_line;
  bool prints_error_text;
  unsigned char failure_stage;
};

// The failure stage of the file stage is its own result (2 or 3).
constexpr unsigned char kResultIsFailureStage = 0xff;

constexpr StageTexts kServerStage = {"Getting Quorvane server configuration...",
                                     "Error while getting Quorvane server configuration", true, 0};
constexpr StageTexts kDnsStage = {"Getting DNS configuration...",
                                  "Error while getting DNS configuration", true, 1};
constexpr StageTexts kSendmailStage = {"Updating sendmail...", "Error while updating sendmail",
                                       false, 1};
constexpr StageTexts kPop3Stage = {"Updating pop3 server...", "Error while updating pop3 server",
                                   true, 1};
constexpr StageTexts kFolderStage = {"Creating required folders...",
                                     "Error while creating required folders", true, 2};
constexpr StageTexts kFileStage = {"Copying files...", "Error while copying files", true,
                                   kResultIsFailureStage};
constexpr StageTexts kConfStage = {"Creating configuration file...",
                                   "Error while creating configuration file", true, 6};

unsigned char RegisterPop3(CGeneral& settings, unsigned char* xinetd_flag) {
  if (settings.Updatexinetd() == 0) {
    *xinetd_flag = 1;
    return 0;
  }
  if (settings.Updateinetd() == 0) {
    *xinetd_flag = 0;
    return 0;
  }
  return 1;
}

class Road {
 public:
  Road(CGeneral& settings, Console& console, unsigned char mail)
      : settings_(settings), console_(console), mail_(mail) {}

  // Prints the stage's progress line, runs it and prints "Success"; on a
  // failure prints the error lines, rolls back and returns false.
  template <typename StageCall>
  bool Stage(const StageTexts& texts, StageCall stage) {
    console_.PrintLine(texts.progress_line);
    const unsigned char result = stage();
    if (result == 0) {
      console_.PrintLine("Success");
      return true;
    }
    const int error = errno;  // what the stage left, before printing can touch it
    // The abort, once started, finishes: a stop signal waits, and as the run
    // ends rolled back it ends with status 1 and the signal unhandled.
    BlockStopSignals();
    console_.PrintLine(texts.error_line);
    if (texts.prints_error_text) console_.PrintErrorText(error);
    console_.PrintLine("Installation aborted");
    settings_.QVRemove(texts.failure_stage == kResultIsFailureStage ? result : texts.failure_stage,
                       mail_);
    return false;
  }

 private:
  CGeneral& settings_;
  Console& console_;
  const unsigned char mail_;
};

}  // namespace

bool RunStages(CGeneral& settings, Console& console, unsigned char mail,
               unsigned char* xinetd_flag) {
  Road road(settings, console, mail);
  if (!road.Stage(kServerStage, [&] { return settings.ServerConf(mail); })) return false;
  if (!road.Stage(kDnsStage, [&] { return settings.CheckDNS(); })) return false;
  if (mail) {
    RunDiscarded(JoinForShell(RestartCommand(Daemon::kSendmail)));
    if (!road.Stage(kSendmailStage, [&] { return settings.CheckSendmail(); })) return false;
    if (!road.Stage(kPop3Stage, [&] { return RegisterPop3(settings, xinetd_flag); })) return false;
  }
  if (!road.Stage(kFolderStage, [&] { return settings.GCreateFolders(mail); })) return false;
  if (!road.Stage(kFileStage, [&] { return settings.CopyFiles(mail); })) return false;
  return road.Stage(kConfStage, [&] { return settings.CreateConf(); });
}
