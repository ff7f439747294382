#include "common/boot_registration.h"

#include <dirent.h>
#include <sys/stat.h>

#include <string_view>

#include "common/layout.h"
#include "common/service_manager.h"

namespace {

constexpr char kInitScript[] = "/etc/init.d/quorvane";
constexpr char kUnitFile[] = "/etc/systemd/system/quorvane.service";

// The boot files run the service command by its name in the layout, which
// stands for kCommandMark in their texts.
constexpr std::string_view kCommandMark = "@COMMAND@";

// The service command does the work and answers with LSB exit codes; the
// headers tell update-rc.d and chkconfig when to run it.
constexpr char kInitScriptText[] =
    "#!/bin/sh\n"
    "# Starts the Quorvane server at boot. Written by qvinstall; qvremove takes it away.\n"
    "# chkconfig: 2345 90 10\n"
    "# description: Quorvane server\n"
    "### BEGIN INIT INFO\n"
    "# Provides:          quorvane\n"
    "# Required-Start:    $local_fs $remote_fs $network\n"
    "# Required-Stop:     $local_fs $remote_fs $network\n"
    "# Should-Start:      $named sendmail\n"
    "# Should-Stop:       $named sendmail\n"
    "# Default-Start:     2 3 4 5\n"
    "# Default-Stop:      0 1 6\n"
    "# Short-Description: Quorvane server\n"
    "### END INIT INFO\n"
    "\n"
    "case \"$1\" in\n"
    "  start|stop|restart|status) exec @COMMAND@ \"$1\" ;;\n"
    "  force-reload) exec @COMMAND@ restart ;;\n"
    "  *) echo \"Usage: $0 {start|stop|restart|force-reload|status}\" >&2; exit 2 ;;\n"
    "esac\n";

// `quorvane start` returns once the daemon it forked listens.
constexpr char kUnitText[] =
    "# Starts the Quorvane server at boot. Written by qvinstall; qvremove takes it away.\n"
    "[Unit]\n"
    "Description=Quorvane server\n"
    "After=network.target named.service sendmail.service\n"
    "\n"
    "[Service]\n"
    "Type=forking\n"
    "ExecStart=@COMMAND@ start\n"
    "ExecStop=@COMMAND@ stop\n"
    "\n"
    "[Install]\n"
    "WantedBy=multi-user.target\n";

// `text` with the service command in place of every kCommandMark.
std::string WithServiceCommand(std::string text) {
  for (size_t at = text.find(kCommandMark); at != std::string::npos;
       at = text.find(kCommandMark, at + 1))
    text.replace(at, kCommandMark.size(), kQuorvaneCommand);
  return text;
}

// A start link for the service ("S" + sequence + "quorvane") in `folder`.
bool HasStartLink(const std::string& folder) {
  DIR* dir = opendir(folder.c_str());
  if (!dir) return false;
  bool found = false;
  while (dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    const std::string service = "quorvane";
    if (name.size() > service.size() && name[0] == 'S' &&
        name.compare(name.size() - service.size(), service.size(), service) == 0)
      found = true;
  }
  closedir(dir);
  return found;
}

bool IsFolder(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

BootRegistration PlanBootRegistration(const std::string& root) {
  BootRegistration plan;
  if (UsesRcInitFolder(root)) return plan;
  const std::string systemctl = SystemctlProgram(root);
  if (SystemdRuns(root) && !systemctl.empty()) {
    plan.kind = BootRegistration::Kind::kSystemdUnit;
    plan.file = kUnitFile;
    plan.enable = {systemctl, "enable", "quorvane.service"};
    plan.disable = {systemctl, "disable", "quorvane.service"};
    return plan;
  }
  if (!IsFolder(root + "/etc/init.d")) return plan;
  plan.kind = BootRegistration::Kind::kInitScript;
  plan.file = kInitScript;
  const std::string update_rc_d =
      FirstExecutable({"/usr/sbin/update-rc.d", "/sbin/update-rc.d"}, root);
  const std::string chkconfig = FirstExecutable({"/sbin/chkconfig", "/usr/sbin/chkconfig"}, root);
  if (!update_rc_d.empty()) {
    plan.enable = {update_rc_d, "quorvane", "defaults"};
    plan.disable = {update_rc_d, "-f", "quorvane", "remove"};
  } else if (!chkconfig.empty()) {
    plan.enable = {chkconfig, "--add", "quorvane"};
    plan.disable = {chkconfig, "--del", "quorvane"};
  }
  return plan;
}

std::string BootFileText(BootRegistration::Kind kind) {
  switch (kind) {
    case BootRegistration::Kind::kInitScript:
      return WithServiceCommand(kInitScriptText);
    case BootRegistration::Kind::kSystemdUnit:
      return WithServiceCommand(kUnitText);
    case BootRegistration::Kind::kNone:
      break;
  }
  return "";
}

bool BootRegistrationEnabled(const BootRegistration& plan, const std::string& root) {
  switch (plan.kind) {
    case BootRegistration::Kind::kSystemdUnit: {
      struct stat st;
      return lstat((root + "/etc/systemd/system/multi-user.target.wants/quorvane.service").c_str(),
                   &st) == 0;
    }
    case BootRegistration::Kind::kInitScript:
      for (const char* folder : {"/etc/rc2.d", "/etc/rc3.d", "/etc/rc.d/rc3.d"}) {
        if (HasStartLink(root + folder)) return true;
      }
      return false;
    case BootRegistration::Kind::kNone:
      break;
  }
  return false;
}
