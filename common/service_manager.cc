#include "common/service_manager.h"

#include <sys/stat.h>
#include <unistd.h>

namespace {

struct DaemonNames {
  const char* rc_script;                  // in /etc/rc.d/init.d
  std::vector<const char*> init_scripts;  // in /etc/init.d, the usual name first
  std::vector<const char*> units;         // systemd's
};

DaemonNames NamesOf(Daemon daemon) {
  switch (daemon) {
    case Daemon::kNamed:
      return {"named", {"named", "bind9"}, {"named.service", "bind9.service"}};
    case Daemon::kSendmail:
      return {"sendmail", {"sendmail"}, {"sendmail.service"}};
    case Daemon::kXinetd:
      return {"xinetd", {"xinetd"}, {"xinetd.service"}};
    case Daemon::kInetd:
      return {"inet",
              {"inet", "openbsd-inetd", "inetutils-inetd"},
              {"inetd.service", "openbsd-inetd.service", "inetutils-inetd.service"}};
  }
  return {"", {}, {}};
}

// Where systemd looks for unit files, those of the administrator first.
const char* const kUnitFolders[] = {"/etc/systemd/system", "/run/systemd/system",
                                    "/usr/lib/systemd/system", "/lib/systemd/system"};

bool IsFolder(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool IsFile(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool IsExecutable(const std::string& path) {
  return IsFile(path) && access(path.c_str(), X_OK) == 0;
}

// The first of the daemon's units that is installed, or "".
std::string InstalledUnit(const DaemonNames& names, const std::string& root) {
  for (const char* unit : names.units) {
    for (const char* folder : kUnitFolders) {
      if (IsFile(root + folder + "/" + unit)) return unit;
    }
  }
  return "";
}

}  // namespace

bool UsesRcInitFolder(const std::string& root) { return IsFolder(root + "/etc/rc.d/init.d"); }

bool SystemdRuns(const std::string& root) { return IsFolder(root + "/run/systemd/system"); }

std::string FirstExecutable(const std::vector<std::string>& paths, const std::string& root) {
  for (const std::string& path : paths) {
    if (IsExecutable(root + path)) return path;
  }
  return "";
}

std::string SystemctlProgram(const std::string& root) {
  return FirstExecutable({"/usr/bin/systemctl", "/bin/systemctl"}, root);
}

std::vector<std::string> RestartCommand(Daemon daemon, const std::string& root) {
  const DaemonNames names = NamesOf(daemon);
  const std::string rc_script = std::string("/etc/rc.d/init.d/") + names.rc_script;
  if (IsExecutable(root + rc_script)) return {rc_script, "restart"};
  for (const char* name : names.init_scripts) {
    const std::string script = std::string("/etc/init.d/") + name;
    if (IsExecutable(root + script)) return {script, "restart"};
  }
  if (SystemdRuns(root)) {
    const std::string systemctl = SystemctlProgram(root);
    const std::string unit = InstalledUnit(names, root);
    if (!systemctl.empty() && !unit.empty()) return {systemctl, "restart", unit};
  }
  return {rc_script, "restart"};
}
