#include "deploy/start_at_boot.h"

#include <errno.h>
#include <sys/stat.h>

#include "common/boot_registration.h"
#include "host/command.h"
#include "host/replace_file.h"

namespace {

// An init script is run by the init system; a unit is only read.
constexpr mode_t kInitScriptMode = 0755;
constexpr mode_t kUnitMode = 0644;

}  // namespace

bool RegisterForBoot(std::string* err) {
  const BootRegistration plan = PlanBootRegistration();
  if (plan.kind == BootRegistration::Kind::kNone) return true;
  const mode_t mode =
      plan.kind == BootRegistration::Kind::kInitScript ? kInitScriptMode : kUnitMode;
  if (!WriteNewFile(plan.file, BootFileText(plan.kind), mode, err)) return false;
  if (plan.enable.empty()) {
    *err = "neither update-rc.d nor chkconfig is installed to enable " + plan.file;
    return false;
  }
  RunDiscarded(JoinForShell(plan.enable));
  if (BootRegistrationEnabled(plan)) return true;
  *err = JoinForShell(plan.enable) + " did not enable it";
  return false;
}
