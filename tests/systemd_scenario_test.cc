// A host that systemd manages. systemd cannot run as the sandbox's PID 1,
// so the test lays out what the installer looks at: /run/systemd/system as
// systemd makes it, on this machine's own files (init scripts in
// /etc/init.d, systemd's systemctl installed). A stand-in for systemctl
// logs every call and hands enable and disable to the real systemctl,
// working on the files (--root=/) as the running manager would; systemd's
// own systemd-analyze checks the unit the installer wrote.

#include <gtest/gtest.h>

#include <string>

#include "sandbox/sandbox.h"
#include "tests/installer_run.h"

namespace {

constexpr char kUnit[] = "/etc/systemd/system/quorvane.service";
constexpr char kWantsLink[] = "/etc/systemd/system/multi-user.target.wants/quorvane.service";
constexpr char kSystemctlLog[] = "/var/log/qvtest-systemctl.log";

constexpr char kStandIn[] = R"(#!/bin/sh
echo "$*" >> /var/log/qvtest-systemctl.log
case "$1" in
  enable|disable) exec /usr/bin/systemctl.real --root=/ "$@" ;;
esac
)";

TEST(SystemdScenarioTest, UnitIsWrittenEnabledAndTakenAwayAgain) {
  if (access("/usr/bin/systemctl", X_OK) != 0 || access("/usr/bin/systemd-analyze", X_OK) != 0)
    GTEST_SKIP() << "systemd's tools are not installed on this machine";
  Sandbox sandbox;
  sandbox.SeedDir("/run/systemd/system");
  sandbox.SeedCopy("/usr/bin/systemctl.real", "/usr/bin/systemctl");
  sandbox.Seed("/usr/bin/systemctl", kStandIn, 0755);
  // named's files where the installer's defaults look; no /etc/rc.d/init.d.
  sandbox.Seed("/etc/named.conf", "options { directory \"/var/named\"; };\n");
  sandbox.Seed("/var/run/named/named.pid", "1234\n");
  sandbox.Seed("/tmp/answers", kDefaultAnswers);
  RunOptions options;
  options.working_dir = DistDir();
  RunResult run = sandbox.Run(
      {"/bin/sh", "-c",
       "./qvinstall < /tmp/answers > /tmp/install.log 2>&1; echo \"install status $?\"\n"
       "systemd-analyze verify --man=no " +
           std::string(kUnit) +
           " 2>&1; echo \"verify status $?\"\n"
           "ls -l " +
           kWantsLink + " | sed 's/.*-> //'\n"},
      options);
  const std::string install_log = sandbox.ReadAfter("/tmp/install.log").value_or("");
  EXPECT_EQ(run.output, std::string("install status 0\nverify status 0\n") + kUnit + "\n")
      << install_log;
  EXPECT_EQ(install_log.find("Can't register"), std::string::npos) << install_log;
  EXPECT_EQ(ModeAfter(sandbox, kUnit), 0644u);
  EXPECT_EQ(sandbox.ReadAfter(kSystemctlLog), "enable quorvane.service\n");

  RunOptions removal;
  removal.stdin_text = "y\n";
  RunResult removed = sandbox.Run({InFolder("/bin/qvremove")}, removal);
  EXPECT_EQ(removed.exit_status, 0) << removed.output;
  EXPECT_NE(removed.output.find("Quorvane server no longer starts at boot\n"), std::string::npos)
      << removed.output;
  EXPECT_EQ(sandbox.ReadAfter(kSystemctlLog),
            "enable quorvane.service\ndisable quorvane.service\n");
  EXPECT_FALSE(sandbox.StatAfter(kUnit));
  EXPECT_FALSE(sandbox.StatAfter(kWantsLink));
}

}  // namespace
