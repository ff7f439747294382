// Whole installations without the mail part, through the real installer.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sandbox/sandbox.h"
#include "tests/default_conf.h"
#include "tests/installer_run.h"
#include "tests/transcript.h"

namespace {

TEST(InstallScenarioTest, AllDefaultsWithoutMailPart) {
  Sandbox sandbox;
  SeedStandardHost(sandbox);
  RunResult run = RunInstaller(sandbox, kDefaultAnswers);

  EXPECT_TRUE(SameTranscript(
      Opening() + ServerDialogue() + DnsDialogue() + RunEnding(/*started=*/true), run.output));
  EXPECT_EQ(run.exit_status, 0);
  EXPECT_EQ(
      run.changes.created,
      (Paths{"/etc/Quorvane.conf", "/etc/named.conf.qvbackup", "/usr/bin/quorvane",
             "/usr/lib/libqvdns-0.1.so", "/usr/lib/libqvsml-0.1.so", kDefaultInstallationFolder,
             InFolder("/bin"), InFolder("/bin/libqvdns-0.1.so"), InFolder("/bin/libqvsml-0.1.so"),
             InFolder("/bin/quorvane"), InFolder("/bin/qvremove"), InFolder("/etc"),
             InFolder("/etc/hosts.allow"), InFolder("/log"), InFolder("/log/quorvane.log"),
             InFolder("/log/quorvane.pid"), kInitLog}));
  EXPECT_EQ(run.changes.changed, Paths{});
  EXPECT_EQ(run.changes.deleted, Paths{});

  auto conf = sandbox.ReadAfter("/etc/Quorvane.conf");
  ASSERT_TRUE(conf);
  EXPECT_EQ(*conf, DefaultConfText(""));
  EXPECT_EQ(conf->size(), 288u);
  EXPECT_EQ(ModeAfter(sandbox, "/etc/Quorvane.conf"), 0644u);

  for (const char* folder : {"", "/etc", "/log", "/bin"})
    EXPECT_EQ(ModeAfter(sandbox, InFolder(folder)), 0755u) << folder;
  EXPECT_EQ(sandbox.ReadAfter(InFolder("/etc/hosts.allow")),
            "#This file lists the  IP of the hosts which are\n"
            "#allowed to use the Quorvane server.\n"
            "127.0.0.1\n"
            "192.168.1.20\n");
  EXPECT_EQ(sandbox.LinkTargetAfter("/usr/lib/libqvdns-0.1.so"), InFolder("/bin/libqvdns-0.1.so"));
  EXPECT_EQ(sandbox.LinkTargetAfter("/usr/lib/libqvsml-0.1.so"), InFolder("/bin/libqvsml-0.1.so"));
  EXPECT_EQ(sandbox.LinkTargetAfter("/usr/bin/quorvane"), InFolder("/bin/quorvane"));
  // Copies keep the package's modes, less the umask.
  EXPECT_EQ(ModeAfter(sandbox, InFolder("/bin/quorvane")), 0755u);
  EXPECT_EQ(ModeAfter(sandbox, InFolder("/bin/qvremove")), 0755u);
  EXPECT_EQ(sandbox.ReadAfter("/etc/named.conf.qvbackup"), sandbox.ReadAfter("/etc/named.conf"));
  EXPECT_FALSE(sandbox.StatAfter(kWorkingFolder));
  EXPECT_EQ(sandbox.ReadAfter(kInitLog), "named restart\n");  // only named, before the stages
}

}  // namespace
