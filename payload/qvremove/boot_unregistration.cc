#include "payload/qvremove/boot_unregistration.h"

#include <errno.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/boot_registration.h"
#include "payload/qvremove/run_command.h"
#include "payload/qvsml/text_file.h"

bool UnregisterFromBoot(std::vector<std::string>* notes) {
  const BootRegistration plan = PlanBootRegistration();
  struct stat st;
  if (plan.kind == BootRegistration::Kind::kNone || lstat(plan.file.c_str(), &st) != 0) return true;
  std::string text, err;
  if (!ReadTextFile(plan.file, &text, &err) || text != BootFileText(plan.kind)) {
    notes->push_back("left " + plan.file + ": it changed after the installation");
    return true;
  }
  // update-rc.d, chkconfig and systemctl find the links by the file.
  std::string output;
  if (!plan.disable.empty() && !RunCommand(plan.disable, &output)) {
    notes->push_back("cannot run " + plan.disable.front() + " to disable " + plan.file);
    return false;
  }
  if (unlink(plan.file.c_str()) != 0) {
    notes->push_back("cannot remove " + plan.file + ": " + strerror(errno));
    return false;
  }
  if (BootRegistrationEnabled(plan)) {
    notes->push_back("a start link for quorvane is left: " + output);
    return false;
  }
  printf("Quorvane server no longer starts at boot\n");
  return true;
}
