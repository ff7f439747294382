#include "driver/stages.h"

#include <errno.h>

#include "base/console.h"
#include "base/settings.h"
#include "host/command.h"

namespace {

// The failure stage of the file stage is its own result (2 or 3).
constexpr unsigned char kResultIsFailureStage = 0xff;

struct Stage {
  const char* progress_line;
  const char* error_line;
  bool prints_error_text;
  unsigned char failure_stage;
  bool mail_only;
  const char* restart_before;  // a daemon restarted right before the stage, if any
  unsigned char (*run)(CGeneral& settings, unsigned char mail, unsigned char* xinetd_flag);
};

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

const Stage kStages[] = {
    {"Getting Quorvane server configuration...",
     "Error while getting Quorvane server configuration", true, 0, false, nullptr,
     [](CGeneral& s, unsigned char mail, unsigned char*) { return s.ServerConf(mail); }},
    {"Getting DNS configuration...", "Error while getting DNS configuration", true, 1, false,
     nullptr, [](CGeneral& s, unsigned char, unsigned char*) { return s.CheckDNS(); }},
    {"Updating sendmail...", "Error while updating sendmail", false, 1, true,
     "/etc/rc.d/init.d/sendmail restart",
     [](CGeneral& s, unsigned char, unsigned char*) { return s.CheckSendmail(); }},
    {"Updating pop3 server...", "Error while updating pop3 server", true, 1, true, nullptr,
     [](CGeneral& s, unsigned char, unsigned char* xinetd) { return RegisterPop3(s, xinetd); }},
    {"Creating required folders...", "Error while creating required folders", true, 2, false,
     nullptr,
     [](CGeneral& s, unsigned char mail, unsigned char*) { return s.GCreateFolders(mail); }},
    {"Copying files...", "Error while copying files", true, kResultIsFailureStage, false, nullptr,
     [](CGeneral& s, unsigned char mail, unsigned char*) { return s.CopyFiles(mail); }},
    {"Creating configuration file...", "Error while creating configuration file", true, 6, false,
     nullptr, [](CGeneral& s, unsigned char, unsigned char*) { return s.CreateConf(); }},
};

}  // namespace

bool RunStages(CGeneral& settings, Console& console, unsigned char mail,
               unsigned char* xinetd_flag) {
  for (const Stage& stage : kStages) {
    if (stage.mail_only && !mail) continue;
    if (stage.restart_before) RunDiscarded(stage.restart_before);
    console.PrintLine(stage.progress_line);
    unsigned char result = stage.run(settings, mail, xinetd_flag);
    if (result == 0) {
      console.PrintLine("Success");
      continue;
    }
    int error = errno;  // what the stage left, before printing can touch it
    console.PrintLine(stage.error_line);
    if (stage.prints_error_text) console.PrintErrorText(error);
    console.PrintLine("Installation aborted");
    settings.QVRemove(stage.failure_stage == kResultIsFailureStage ? result : stage.failure_stage,
                      mail);
    return false;
  }
  return true;
}
