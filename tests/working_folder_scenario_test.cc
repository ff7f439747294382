// The working folder where the package lies unpacked while the dialogue
// waits, and the decode tool that unpacks it as root: no other user can
// reach the one, and a tool others could have changed never runs.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "sandbox/sandbox.h"
#include "tests/installer_run.h"
#include "tests/transcript.h"

namespace {

constexpr char kNobody[] = "65534";

std::string ReadHostFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Stopped at its first question, the run's working folder is checked from
// outside as the user nobody: every path under it, reachable or not.
TEST(WorkingFolderScenarioTest, NoOtherUserCanEnterOrWriteWhileTheRunWaits) {
  Sandbox sandbox;
  SeedStandardHost(sandbox);
  const std::string as_nobody = std::string("setpriv --reuid=") + kNobody + " --regid=" + kNobody +
                                " --clear-groups /usr/bin/test";
  RunResult run =
      RunScript(sandbox, ScriptUpToFirstQuestion("/tmp/run.out") +
                             "stat -c '%a %U %F' /QVInstallation\n"
                             "test -f /QVInstallation/qv/vdeliver && echo 'vdeliver unpacked'\n"
                             "for path in $(find /QVInstallation); do\n"
                             "  " +
                             as_nobody +
                             " -w \"$path\" && echo \"nobody writes $path\"\n"
                             "  [ -d \"$path\" ] && " +
                             as_nobody +
                             " -x \"$path\" && echo \"nobody enters $path\"\n"
                             "done\n"
                             "exec 3>&-\n"
                             "wait $installer; echo \"status $?\"\n");

  EXPECT_EQ(run.output, "700 root directory\nvdeliver unpacked\nstatus 1\n");
}

// The decode tool beside the installer is judged before anything is made.
TEST(WorkingFolderScenarioTest, DecodeToolOthersCouldChangeIsRefused) {
  constexpr char kDist[] = "/opt/dist";
  const std::string decode = std::string(kDist) + "/decode";
  const std::string decode_program = ReadHostFile(DistDir() + "/decode");
  struct Case {
    const char* name;
    std::function<void(Sandbox&)> seed;
    const char* refusal;  // nullptr: the tool runs
  };
  const std::vector<Case> cases = {
      {"link",
       [&](Sandbox& sandbox) {
         sandbox.Seed(decode + ".real", decode_program, 0755);
         sandbox.SeedSymlink(decode, decode + ".real");
       },
       "The decode tool is not a regular file."},
      {"group-writable", [&](Sandbox& sandbox) { sandbox.Seed(decode, decode_program, 0775); },
       "The decode tool can be changed by other users."},
      {"another user's",
       [&](Sandbox& sandbox) {
         sandbox.Seed(decode, decode_program, 0755);
         sandbox.SeedOwner(decode, 1234, 1234);
       },
       "The decode tool belongs to another user."},
      {"the installer's owner's",
       [&](Sandbox& sandbox) {
         sandbox.Seed(decode, decode_program, 0755);
         sandbox.SeedOwner(decode, 1234, 1234);
         sandbox.SeedOwner(std::string(kDist) + "/qvinstall", 1234, 1234);
       },
       nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Sandbox sandbox;
    SeedStandardHost(sandbox);
    sandbox.Seed(std::string(kDist) + "/qvinstall", ReadHostFile(DistDir() + "/qvinstall"), 0755);
    c.seed(sandbox);
    RunResult run = RunOnConsole(sandbox, "", {}, kDist);

    EXPECT_EQ(run.exit_status, 1);
    const std::string extracting = Line("Extracting the package...");
    EXPECT_TRUE(SameTranscript(
        c.refusal ? extracting + Line(c.refusal) + Line("Error while extracting the package")
                  : extracting + kMailQuestion + "\n" + Line("Installation aborted"),
        run.output));
    EXPECT_TRUE(run.changes.empty()) << run.changes.ToString();
  }
}

// What is mounted under a working folder an earlier run left stays: the
// folder cannot be removed, so the extraction fails.
TEST(WorkingFolderScenarioTest, MountUnderAnOldWorkingFolderStays) {
  Sandbox sandbox;
  SeedStandardHost(sandbox);
  RunResult run = RunScript(sandbox,
                            "mkdir -p /QVInstallation/mounted\n"
                            "mount -t tmpfs qvtest /QVInstallation/mounted\n"
                            "echo kept > /QVInstallation/mounted/file\n"
                            "cd " +
                                DistDir() +
                                " && ./qvinstall < /dev/null\n"
                                "echo \"status $?\"\n"
                                "cat /QVInstallation/mounted/file\n");

  EXPECT_EQ(run.output, Line("Extracting the package...") +
                            Line("Error while extracting the package") + "status 1\nkept\n");
}

}  // namespace
