#include "common/service_manager.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/test_host_tree.h"

namespace {

using Words = std::vector<std::string>;

struct RestartCase {
  const char* host;
  std::vector<std::string> paths;
  Daemon daemon;
  Words command;
};

const RestartCase kRestartCases[] = {
    {"the installer's layout", {"/etc/rc.d/init.d/named", "/etc/init.d/named"}, Daemon::kNamed,
     {"/etc/rc.d/init.d/named", "restart"}},
    {"Debian with bind9's script only", {"/etc/init.d/bind9"}, Daemon::kNamed,
     {"/etc/init.d/bind9", "restart"}},
    {"Debian 12", {"/etc/init.d/named", "/etc/init.d/bind9"}, Daemon::kNamed,
     {"/etc/init.d/named", "restart"}},
    {"Debian 12", {"/etc/init.d/sendmail"}, Daemon::kSendmail, {"/etc/init.d/sendmail", "restart"}},
    {"Debian 12", {"/etc/init.d/xinetd"}, Daemon::kXinetd, {"/etc/init.d/xinetd", "restart"}},
    {"openbsd-inetd", {"/etc/init.d/openbsd-inetd"}, Daemon::kInetd,
     {"/etc/init.d/openbsd-inetd", "restart"}},
    {"inetutils-inetd", {"/etc/init.d/inetutils-inetd"}, Daemon::kInetd,
     {"/etc/init.d/inetutils-inetd", "restart"}},
    {"systemd without scripts",
     {"/run/systemd/system/", "/usr/bin/systemctl", "-/lib/systemd/system/named.service"},
     Daemon::kNamed,
     {"/usr/bin/systemctl", "restart", "named.service"}},
    {"systemd with the alias unit only",
     {"/run/systemd/system/", "/usr/bin/systemctl", "-/usr/lib/systemd/system/bind9.service"},
     Daemon::kNamed,
     {"/usr/bin/systemctl", "restart", "bind9.service"}},
    {"systemd with a script as well",
     {"/run/systemd/system/", "/usr/bin/systemctl", "-/lib/systemd/system/sendmail.service",
      "/etc/init.d/sendmail"},
     Daemon::kSendmail,
     {"/etc/init.d/sendmail", "restart"}},
    {"systemd without the daemon's unit", {"/run/systemd/system/", "/usr/bin/systemctl"},
     Daemon::kXinetd,
     {"/etc/rc.d/init.d/xinetd", "restart"}},
    {"units installed but systemd not running",
     {"/usr/bin/systemctl", "-/lib/systemd/system/xinetd.service"}, Daemon::kXinetd,
     {"/etc/rc.d/init.d/xinetd", "restart"}},
    {"no way to restart", {}, Daemon::kInetd, {"/etc/rc.d/init.d/inet", "restart"}},
    {"a script that is not a program", {"-/etc/init.d/named"}, Daemon::kNamed,
     {"/etc/rc.d/init.d/named", "restart"}},
};

TEST(ServiceManagerTest, RestartsThroughTheScriptOrUnitTheHostHas) {
  for (const RestartCase& c : kRestartCases) {
    HostTree host;
    for (const std::string& path : c.paths) host.Add(path);
    EXPECT_EQ(RestartCommand(c.daemon, host.root()), c.command) << c.host;
  }
}

TEST(ServiceManagerTest, TellsTheLayoutAndTheServiceManager) {
  HostTree installers, debian, systemd;
  installers.Add("/etc/rc.d/init.d/");
  debian.Add("/etc/init.d/");
  systemd.Add("/run/systemd/system/");
  EXPECT_TRUE(UsesRcInitFolder(installers.root()));
  EXPECT_FALSE(UsesRcInitFolder(debian.root()));
  EXPECT_FALSE(SystemdRuns(debian.root()));
  EXPECT_TRUE(SystemdRuns(systemd.root()));
}

}  // namespace
