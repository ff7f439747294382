#pragma once

// How this host starts its daemons. The installer knows one layout by every
// name: System V scripts in /etc/rc.d/init.d. A distribution keeps its
// scripts in /etc/init.d under names of its own, or has systemd manage the
// daemons. The installer and qvremove both restart daemons through it, so it
// sits below both and uses only the C library.
//
// Every function takes `root`, the folder that stands for "/" (empty on the
// host itself), so that a test can lay out a host of its own.

#include <string>
#include <vector>

// The daemons the installer and qvremove restart.
enum class Daemon { kNamed, kSendmail, kXinetd, kInetd };

// True when the host keeps its System V scripts in /etc/rc.d/init.d, the
// layout the installer was written for: there it keeps every default path
// and registers nothing with the service manager.
bool UsesRcInitFolder(const std::string& root = "");

// True when systemd manages this host (/run/systemd/system is a folder, as
// systemd's own sd_booted() tells).
bool SystemdRuns(const std::string& root = "");

// The command, program first, that restarts `daemon`: its script in
// /etc/rc.d/init.d where that exists; else the distribution's script in
// /etc/init.d (named or bind9; sendmail; xinetd; inet, openbsd-inetd or
// inetutils-inetd); else `systemctl restart UNIT` where systemd runs and
// the daemon's unit is installed; else the /etc/rc.d/init.d script all the
// same, whose failure the caller reports. Looks, changes nothing.
std::vector<std::string> RestartCommand(Daemon daemon, const std::string& root = "");

// The systemctl program where it is installed, or "".
std::string SystemctlProgram(const std::string& root = "");

// The first of `paths` that is a file (a link to one counts) that can be
// executed, or "".
std::string FirstExecutable(const std::vector<std::string>& paths, const std::string& root = "");
