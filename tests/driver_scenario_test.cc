// The driver's own answers: the refusal of a second installation, a failed
// extraction and the mail question, through the real installer.

#include <gtest/gtest.h>

#include <string>

#include "sandbox/sandbox.h"
#include "tests/installer_run.h"
#include "tests/transcript.h"

namespace {

TEST(DriverScenarioTest, RefusesWhileTheConfigurationFileExistsTouchingNothing) {
  for (const char* conf : {"", "Port 1\n"}) {
    Sandbox sandbox;
    SeedStandardHost(sandbox);
    sandbox.Seed("/etc/Quorvane.conf", conf);
    sandbox.Seed(std::string(kWorkingFolder) + "/left-by-an-earlier-run", "keep\n");
    RunResult run = RunInstaller(sandbox, kDefaultAnswers);
    EXPECT_EQ(run.output, "Quorvane server already installed.\n");
    EXPECT_EQ(run.exit_status, 1);
    EXPECT_TRUE(run.changes.empty()) << run.changes.ToString();
  }
}

TEST(DriverScenarioTest, ExtractionFailsWithoutTheDecodeToolBesideTheInstaller) {
  Sandbox sandbox;
  SeedStandardHost(sandbox);
  sandbox.SeedCopy("/opt/lonely/qvinstall", DistDir() + "/qvinstall");
  sandbox.Seed(std::string(kWorkingFolder) + "/left-by-an-earlier-run", "old\n");
  RunOptions options;
  options.working_dir = "/opt/lonely";
  options.stdin_text = kDefaultAnswers;
  RunResult run = sandbox.Run({"/opt/lonely/qvinstall"}, options);
  EXPECT_TRUE(SameTranscript(Line("Extracting the package...") +
                                 Line("The decode tool is missing from /opt/lonely.") +
                                 Line("Error while extracting the package"),
                             run.output));
  EXPECT_EQ(run.exit_status, 1);
  // Refused before the extraction; the driver removes the working folder an
  // earlier run left, as after any failed extraction.
  EXPECT_EQ(run.changes.ToString(), "- /QVInstallation\n");
}

TEST(DriverScenarioTest, MailQuestionAsksAgainUntilYOrNAndEndsWithTheInput) {
  Sandbox sandbox;
  SeedStandardHost(sandbox);
  RunResult run = RunInstaller(sandbox, "yes\n Y\n\nY \n");
  const std::string refused =
      kMailQuestion + Line("") + Line("Illeagle value. Only give 'Y' or 'N'");
  EXPECT_TRUE(SameTranscript(Line("Extracting the package...") + refused + refused + refused +
                                 refused + kMailQuestion + Line("") + Line("Installation aborted"),
                             run.output));
  EXPECT_EQ(run.exit_status, 1);
  EXPECT_TRUE(run.changes.empty()) << run.changes.ToString();  // named was not even restarted
}

TEST(DriverScenarioTest, LowerCaseAnswersChooseTheMailPart) {
  for (const char* answer : {"y\n", "n\n"}) {
    Sandbox sandbox;
    SeedStandardHost(sandbox);
    // Ends at the port question: enough to see which way the run went.
    RunResult run = RunInstaller(sandbox, answer);
    EXPECT_TRUE(SameTranscript(
        Opening() + DefaultPrompt(kPortQuestion, "33333") + Line("") +
            Abort("Error while getting Quorvane server configuration", "No data available"),
        run.output));
    EXPECT_EQ(sandbox.ReadAfter(kInitLog), "named restart\n");  // for either answer
  }
}

}  // namespace
