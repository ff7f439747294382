// Copies the service's programs and libraries from the package folder (the
// current directory) into the installation's bin folder and links them into
// /usr/lib and /usr/bin.

#include <errno.h>
#include <stdio.h>
#include <unistd.h>

#include <string>

#include "base/settings.h"
#include "deploy/copy_command.h"
#include "host/command.h"
#include "host/files.h"

namespace {

enum class LinkKind {
  kNone,
  // An existing path is reported and may be replaced; a refusal fails the stage.
  kAsked,
  // An existing path is left alone without a word; nothing fails the stage.
  kQuiet,
};

struct Step {
  const char* file;
  const char* link;  // nullptr when the copy is not linked
  LinkKind kind;
  bool mail_only;
  unsigned char failure;  // result of the stage when an asked link is not made
};

const Step kSteps[] = {
    {"libqvdns-0.1.so", "/usr/lib/libqvdns-0.1.so", LinkKind::kAsked, false, 2},
    {"libqvsml-0.1.so", "/usr/lib/libqvsml-0.1.so", LinkKind::kAsked, false, 3},
    {"libstdc++-3-libc6.2-2-2.10.0.so", "/usr/lib/libstdc++-libc6.2-2.so.3", LinkKind::kQuiet, true,
     0},
    {"vpop3d", nullptr, LinkKind::kNone, true, 0},
    {"vdeliver", nullptr, LinkKind::kNone, true, 0},
    {"quorvane", "/usr/bin/quorvane", LinkKind::kAsked, false, 3},
    {"qvremove", nullptr, LinkKind::kNone, false, 0},
};

}  // namespace

unsigned char CGeneral::CopyFiles(unsigned char mail) {
  const std::string bin_folder = std::string(InsFolder) + "/bin/";
  for (const Step& step : kSteps) {
    if (step.mail_only && !mail) continue;

    const std::string copy = bin_folder + step.file;
    const bool copy_existed = PathExists(copy.c_str());
    std::string command;
    if (CopyCommand(bin_folder, step.file, &command)) RunDiscarded(command);
    // Only copies this run made go with a rollback of a taken-over folder.
    if (!copy_existed && PathExists(copy.c_str())) journal_.Created(copy);

    if (step.kind == LinkKind::kNone) continue;
    for (;;) {
      if (symlink(copy.c_str(), step.link) == 0) {
        journal_.Created(step.link);
        break;
      }
      const int error = errno;
      if (step.kind == LinkKind::kQuiet) {
        if (error != EEXIST) {
          console_.Print("Can't create symbolic link for ");
          console_.PrintLine(step.file);
        }
        break;
      }
      console_.Print("Can't create symbolic link for ");
      console_.PrintLine(step.file);
      if (error == EEXIST) {
        console_.Print(step.link);
        console_.PrintLine(" already exist");
        // End of input counts as a refusal, like any answer but Y.
        if (AskYesNo(console_, "Do you want to overwrite it? (Y/N): ") == YesNo::kYes) {
          remove(step.link);
          continue;
        }
      }
      errno = error;
      return step.failure;
    }
  }
  return 0;
}
