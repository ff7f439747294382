#include "common/boot_registration.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

using Words = std::vector<std::string>;

class BootRegistrationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char folder[] = "/tmp/qv-boot-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    root_ = folder;
  }
  void TearDown() override {
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
  }
  // A program (mode 0755), or a folder when `path` ends in "/".
  void Add(const std::string& path) {
    const std::string full = root_ + path;
    if (path.back() == '/') {
      std::filesystem::create_directories(full);
      return;
    }
    std::filesystem::create_directories(std::filesystem::path(full).parent_path());
    std::ofstream(full) << "#!/bin/sh\n";
    chmod(full.c_str(), 0755);
  }
  void Link(const std::string& path, const std::string& target) {
    std::filesystem::create_directories(std::filesystem::path(root_ + path).parent_path());
    ASSERT_EQ(symlink(target.c_str(), (root_ + path).c_str()), 0);
  }
  std::string root_;
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
    TearDown();
    SetUp();
    for (const std::string& path : c.paths) Add(path);
    const BootRegistration plan = PlanBootRegistration(root_);
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
  EXPECT_FALSE(BootRegistrationEnabled(script, root_));
  Link("/etc/rc2.d/S01quorvane", "../init.d/quorvane");
  EXPECT_TRUE(BootRegistrationEnabled(script, root_));
  EXPECT_FALSE(BootRegistrationEnabled(unit, root_));
  Link("/etc/systemd/system/multi-user.target.wants/quorvane.service",
       "/etc/systemd/system/quorvane.service");
  EXPECT_TRUE(BootRegistrationEnabled(unit, root_));
}

}  // namespace
