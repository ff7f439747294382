#include "common/spawn.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "tests/parent_state.h"

namespace {

// Runs `script` through /bin/sh with `options`, its output on a pipe;
// returns what it printed, and its wait status in `*status`.
std::string RunScript(const std::string& script, SpawnOptions options, int* status) {
  int out[2];
  EXPECT_EQ(pipe2(out, O_CLOEXEC), 0);
  options.stdout_fd = out[1];
  pid_t pid = -1;
  const int error = Spawn("/bin/sh", {"sh", "-c", script}, options, &pid);
  close(out[1]);
  EXPECT_EQ(error, 0);
  std::string printed;
  char buffer[512];
  for (ssize_t n; (n = read(out[0], buffer, sizeof buffer)) > 0;)
    printed.append(buffer, static_cast<size_t>(n));
  close(out[0]);
  *status = error == 0 ? WaitForChild(pid) : -1;
  return printed;
}

TEST(SpawnTest, ChildGetsTheFixedEnvironmentAndNoneOfOurSignalState) {
  setenv("LANG", "C.UTF-8", 1);
  int status;
  std::string printed;
  {
    ForeignParentState foreign;
    printed = RunScript(
        std::string("env | grep -v -E '^(PWD|TERM|LC_ALL)=' | sort\n") + kPrintSignalState, {},
        &status);
  }
  unsetenv("LANG");
  EXPECT_EQ(status, 0);
  EXPECT_EQ(printed,
            "LANG=C.UTF-8\n"
            "PATH=/usr/sbin:/usr/bin:/sbin:/bin\n"
            "SigBlk 0\n"
            "SigIgn 0\n");
}

TEST(SpawnTest, GivenEnvironmentIsAllTheChildSees) {
  setenv("LANG", "C.UTF-8", 1);
  SpawnOptions options;
  options.environment = std::vector<std::string>{kChildSearchPath, "LC_ALL=C"};
  int status;
  const std::string printed = RunScript("env | grep -v '^PWD=' | sort", options, &status);
  unsetenv("LANG");
  EXPECT_EQ(printed, "LC_ALL=C\nPATH=/usr/sbin:/usr/bin:/sbin:/bin\n");
}

TEST(SpawnTest, KeptDispositionStaysIgnored) {
  struct sigaction ignore = {}, old_ttou;
  ignore.sa_handler = SIG_IGN;
  sigaction(SIGTTOU, &ignore, &old_ttou);
  SpawnOptions options;
  options.kept_dispositions = {SIGTTOU};
  int status;
  const std::string printed = RunScript(kPrintSignalState, options, &status);
  sigaction(SIGTTOU, &old_ttou, nullptr);
  EXPECT_EQ(printed, "SigBlk 0\nSigIgn 2097152\n");  // SIGTTOU alone
}

TEST(SpawnTest, StandardInputIsDevNullUnlessGiven) {
  int status;
  EXPECT_EQ(RunScript("cat; echo end", {}, &status), "end\n");

  int in[2];
  ASSERT_EQ(pipe2(in, O_CLOEXEC), 0);
  ASSERT_EQ(write(in[1], "given\n", 6), 6);
  close(in[1]);
  SpawnOptions options;
  options.stdin_fd = in[0];
  EXPECT_EQ(RunScript("cat", options, &status), "given\n");
  close(in[0]);
}

TEST(SpawnTest, StandardErrorGoesWhereAsked) {
  SpawnOptions options;
  int status;
  // Without a descriptor of its own, standard error is ours: not on the pipe.
  EXPECT_EQ(RunScript("echo out; echo err >&2", options, &status), "out\n");
  int out[2];
  ASSERT_EQ(pipe2(out, O_CLOEXEC), 0);
  options.stdout_fd = out[1];
  options.stderr_fd = out[1];
  pid_t pid;
  ASSERT_EQ(Spawn("/bin/sh", {"sh", "-c", "echo err >&2"}, options, &pid), 0);
  close(out[1]);
  char buffer[16] = {};
  EXPECT_EQ(read(out[0], buffer, sizeof buffer), 4);
  EXPECT_STREQ(buffer, "err\n");
  close(out[0]);
  WaitForChild(pid);
}

TEST(SpawnTest, OwnProcessGroupIsLedByTheChild) {
  SpawnOptions options;
  options.own_process_group = true;
  int status;
  const std::string printed = RunScript("cut -d' ' -f5 /proc/$$/stat; echo $$", options, &status);
  const size_t line_end = printed.find('\n');
  ASSERT_NE(line_end, std::string::npos);
  EXPECT_EQ(printed.substr(0, line_end) + "\n", printed.substr(line_end + 1));
  EXPECT_NE(printed.substr(0, line_end), std::to_string(getpgrp()));
}

TEST(SpawnTest, ReportsAMissingProgramAndKeepsTheNameAndExitStatus) {
  pid_t pid;
  EXPECT_EQ(Spawn("/nonexistent/qv-program", {"qv-program"}, {}, &pid), ENOENT);
  EXPECT_EQ(Spawn("/bin/true", {}, {}, &pid), EINVAL);
  int status;
  // The child sees the name it is given, not the path it was found at.
  EXPECT_EQ(RunScript("echo $0", {}, &status), "sh\n");
  RunScript("exit 7", {}, &status);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 7);
}

}  // namespace
