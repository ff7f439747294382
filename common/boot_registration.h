#pragma once

// How the Quorvane service comes back when the host boots: a systemd unit
// where systemd runs, or an LSB init script in /etc/init.d enabled with the
// host's update-rc.d or chkconfig. On the installer's own layout (System V
// scripts in /etc/rc.d/init.d) nothing is registered, and the administrator
// starts the service as the installer's last lines say. qvremove undoes the
// registration with the same plan, so this sits below both and uses only the
// C library.

#include <string>
#include <vector>

struct BootRegistration {
  enum class Kind { kNone, kInitScript, kSystemdUnit };
  Kind kind = Kind::kNone;
  std::string file;                  // the script or unit the installer writes
  std::vector<std::string> enable;   // program first; empty when there is none
  std::vector<std::string> disable;  // likewise, run before the file goes
};

// How the service is registered on this host. `root` stands for "/"
// (empty on the host itself). Looks, changes nothing.
BootRegistration PlanBootRegistration(const std::string& root = "");

// The text of the script or unit for `kind` ("" for kNone).
std::string BootFileText(BootRegistration::Kind kind);

// Whether the service is enabled as `plan` enables it: a start link for it
// in a runlevel folder, or the unit's link in multi-user.target.wants.
bool BootRegistrationEnabled(const BootRegistration& plan, const std::string& root = "");
