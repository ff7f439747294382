#include "common/boot_registration.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/test_host_tree.h"

namespace {

using Words = std::vector<std::string>;

class BootRegistrationTest : public ::testing::Test {
 protected:
  void Link(const std::string& path, const std::string& target) {
    ASSERT_TRUE(host_.Link(path, target)) << path;
  }
  HostTree host_;
};

TEST_F(BootRegistrationTest, RegistersWithTheServiceManagerTheHostHas) {
  using Kind = BootRegistration::Kind;
  const struct {
    const char* host;
    std::vector<std::string> paths;
    Kind kind;
    std::string file;
    Words enable, disable;
  } cases[] = {
      {"the installer's layout",
       {"/etc/rc.d/init.d/", "/etc/init.d/", "/usr/sbin/update-rc.d"},
       Kind::kNone,
       "",
       {},
       {}},
      {"Debian without systemd",
       {"/etc/init.d/", "/usr/sbin/update-rc.d", "/usr/bin/systemctl"},
       Kind::kInitScript,
       "/etc/init.d/quorvane",
       {"/usr/sbin/update-rc.d", "quorvane", "defaults"},
       {"/usr/sbin/update-rc.d", "-f", "quorvane", "remove"}},
      {"chkconfig",
       {"/etc/init.d/", "/sbin/chkconfig"},
       Kind::kInitScript,
       "/etc/init.d/quorvane",
       {"/sbin/chkconfig", "--add", "quorvane"},
       {"/sbin/chkconfig", "--del", "quorvane"}},
      {"init scripts without a tool to enable them",
       {"/etc/init.d/"},
       Kind::kInitScript,
       "/etc/init.d/quorvane",
       {},
       {}},
      {"systemd",
       {"/run/systemd/system/", "/usr/bin/systemctl", "/etc/init.d/", "/usr/sbin/update-rc.d"},
       Kind::kSystemdUnit,
       "/etc/systemd/system/quorvane.service",
       {"/usr/bin/systemctl", "enable", "quorvane.service"},
       {"/usr/bin/systemctl", "disable", "quorvane.service"}},
      {"no service manager found", {}, Kind::kNone, "", {}, {}},
  };
  for (const auto& c : cases) {
    HostTree host;
    for (const std::string& path : c.paths) host.Add(path);
    const BootRegistration plan = PlanBootRegistration(host.root());
    EXPECT_EQ(plan.kind, c.kind) << c.host;
    EXPECT_EQ(plan.file, c.file) << c.host;
    EXPECT_EQ(plan.enable, c.enable) << c.host;
    EXPECT_EQ(plan.disable, c.disable) << c.host;
  }
}

TEST_F(BootRegistrationTest, EnabledOnlyByAStartLinkOrTheUnitsWantsLink) {
  BootRegistration script{BootRegistration::Kind::kInitScript, "/etc/init.d/quorvane", {}, {}};
  BootRegistration unit{
      BootRegistration::Kind::kSystemdUnit, "/etc/systemd/system/quorvane.service", {}, {}};
  Link("/etc/rc0.d/K01quorvane", "../init.d/quorvane");
  Link("/etc/rc2.d/S01quorvaned", "../init.d/quorvaned");
  EXPECT_FALSE(BootRegistrationEnabled(script, host_.root()));
  Link("/etc/rc2.d/S01quorvane", "../init.d/quorvane");
  EXPECT_TRUE(BootRegistrationEnabled(script, host_.root()));
  EXPECT_FALSE(BootRegistrationEnabled(unit, host_.root()));
  Link("/etc/systemd/system/multi-user.target.wants/quorvane.service",
       "/etc/systemd/system/quorvane.service");
  EXPECT_TRUE(BootRegistrationEnabled(unit, host_.root()));
}

}  // namespace
