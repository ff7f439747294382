#include "host/command.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>

#include "tests/parent_state.h"

namespace {

TEST(CommandTest, QuotesOnlyWhatTheShellWouldInterpret) {
  EXPECT_EQ(QuoteForShell("/etc/named.conf"), "/etc/named.conf");
  EXPECT_EQ(QuoteForShell("/usr/local/quorvane"), "/usr/local/quorvane");
  EXPECT_EQ(QuoteForShell("/opt/q v"), "'/opt/q v'");
  EXPECT_EQ(QuoteForShell("/opt/qv;cd;touch pwned;x"), "'/opt/qv;cd;touch pwned;x'");
  EXPECT_EQ(QuoteForShell("it's"), "'it'\\''s'");
  EXPECT_EQ(QuoteForShell(""), "''");
  EXPECT_EQ(QuoteForShell("$(id)`id`*?~"), "'$(id)`id`*?~'");
}

TEST(CommandTest, QuotedArgumentsReachTheCommandLiterally) {
  for (const char* argument : {"/opt/q v", "a'b", "$(echo no)", "x;echo no", "*", "\"\\", " "}) {
    std::ostringstream out;
    RunEchoed("printf '%s' " + QuoteForShell(argument), out);
    EXPECT_EQ(out.str(), argument);
  }
}

TEST(CommandTest, CommandLineRefusesWhatDoesNotFit) {
  CommandLine exact(10);  // nine characters and the terminating NUL
  exact.Add("cp ").AddArgument("abcdef");
  EXPECT_TRUE(exact.fits());
  CommandLine over(10);
  over.Add("cp ").AddArgument("abcdefg");
  EXPECT_FALSE(over.fits());
  over.Add("x");  // nothing more is appended once it failed
  EXPECT_EQ(over.text(), "cp ");
}

TEST(CommandTest, EchoedRunKeepsTheFirst1023Bytes) {
  std::ostringstream out;
  EXPECT_TRUE(RunEchoed("head -c 5000 /dev/zero | tr '\\0' a; echo done >&2", out));
  EXPECT_EQ(out.str(), std::string(1023, 'a'));
}

// A configuration that sendmail or m4 prints is kept whole up to the limit,
// and the exit code tells how the command ended.
TEST(CommandTest, CapturedRunKeepsOutputUpToItsLimitAndTheExitCode) {
  std::string output;
  EXPECT_EQ(RunCaptured("head -c 300000 /dev/zero | tr '\\0' a; exit 3", &output, 1 << 20), 3);
  EXPECT_EQ(output, std::string(300000, 'a'));
  EXPECT_EQ(RunCaptured("head -c 5000 /dev/zero | tr '\\0' b", &output, 4096), 0);
  EXPECT_EQ(output, std::string(4096, 'b'));
  EXPECT_EQ(RunCaptured("true", &output, 10), 0);
  EXPECT_EQ(output, "");
}

TEST(CommandTest, EchoedRunWithoutOutputPrintsTheFailureLine) {
  std::ostringstream out;
  EXPECT_FALSE(RunEchoed("true", out, "Can't restart sendmail server"));
  EXPECT_EQ(out.str(), "Can't restart sendmail server\n");
  std::ostringstream quiet;
  EXPECT_FALSE(RunEchoed("true", quiet));
  EXPECT_EQ(quiet.str(), "");
}

TEST(CommandTest, CommandsNeverReadTheInstallersInput) {
  std::ostringstream out;
  RunEchoed("cat; echo end", out);  // stdin is /dev/null, so cat ends at once
  EXPECT_EQ(out.str(), "end\n");
}

// Nothing of the installer's own state reaches a command: not its
// environment, not the signals it ignores or blocks. SIGTTOU is ignored so
// that a command in the terminal's background can always write to it.
TEST(CommandTest, CommandsStartWithAFixedEnvironmentAndDefaultSignals) {
  std::ostringstream out;
  {
    ForeignParentState foreign;
    RunEchoed(
        std::string("env | grep -v -E '^(PWD|TERM|LANG|LC_ALL)=' | sort\n") + kPrintSignalState,
        out);
  }

  EXPECT_EQ(out.str(),
            "PATH=/usr/sbin:/usr/bin:/sbin:/bin\n"
            "SigBlk 0\n"
            "SigIgn 2097152\n");  // SIGTTOU alone
}

TEST(CommandTest, DaemonHoldingThePipeDoesNotHangTheRun) {
  char pid_file[] = "/tmp/qv-daemon-XXXXXX";
  int fd = mkstemp(pid_file);
  ASSERT_GE(fd, 0);
  close(fd);
  // The background sleep keeps the output pipe open long after the shell
  // ended; a run that waited for it would only end at the test's timeout.
  std::ostringstream out;
  RunEchoed(std::string("echo started; sh -c 'echo $$ > ") + pid_file +
                "; exec sleep 1000' 2>/dev/null &",
            out);
  EXPECT_EQ(out.str(), "started\n");
  std::ifstream pid_in(pid_file);
  pid_t daemon = 0;
  for (int tries = 0; tries < 100 && !(pid_in >> daemon); ++tries) {
    usleep(10000);
    pid_in.clear();
    pid_in.seekg(0);
  }
  if (daemon > 0) kill(daemon, SIGKILL);
  unlink(pid_file);
}

}  // namespace
