// Hostile and missing answers at every question of a whole run: each run
// must end (no question repeats without end), run no injected command, and
// leave no working folder or configuration file behind when it fails.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sandbox/sandbox.h"
#include "tests/installer_run.h"

namespace {

// The answers of a whole run, one per question, each with its line end.
std::vector<std::string> SplitAnswers(const std::string& answers) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end; (end = answers.find('\n', start)) != std::string::npos; start = end + 1)
    lines.push_back(answers.substr(start, end - start + 1));
  return lines;
}

// Shell metacharacters, signs, blanks, a quote, a carriage return and a line
// far longer than any buffer; then standard input ends.
std::string HostileAnswers() {
  return "$(touch /pwned-dollar)\n"
         "`touch /pwned-tick`;touch /pwned-semi|touch /pwned-pipe\n"
         "-1 \n"
         " \t \n"
         "\"/opt/q\"\n"
         "y\r\n" +
         std::string(5000, '9') + "\n";
}

bool MentionsPwned(const ChangeSet& changes) {
  for (const auto* paths : {&changes.created, &changes.changed, &changes.deleted})
    for (const std::string& path : *paths)
      if (path.find("pwned") != std::string::npos) return true;
  return false;
}

void CheckEveryQuestion(const char* answers, void (*seed)(Sandbox&)) {
  const std::vector<std::string> lines = SplitAnswers(answers);
  for (size_t given = 0; given < lines.size(); ++given) {
    SCOPED_TRACE("hostile answers after " + std::to_string(given) + " good ones");
    std::string input;
    for (size_t i = 0; i < given; ++i) input += lines[i];
    Sandbox sandbox;
    seed(sandbox);
    RunOptions options;
    options.timeout_seconds = 30;
    RunResult run = RunInstaller(sandbox, input + HostileAnswers(), options);
    EXPECT_FALSE(run.timed_out);
    EXPECT_TRUE(run.exit_status == 0 || run.exit_status == 1) << run.exit_status;
    EXPECT_FALSE(MentionsPwned(run.changes)) << run.changes.ToString();
    EXPECT_FALSE(sandbox.StatAfter(kWorkingFolder));
    if (run.exit_status == 1) {
      EXPECT_FALSE(sandbox.StatAfter("/etc/Quorvane.conf"));
      EXPECT_NE(run.output.find("Installation aborted\n"), std::string::npos) << run.output;
    }
  }
}

TEST(InputScenarioTest, HostileAnswersAndEndOfInputAtEveryQuestionWithoutMailPart) {
  CheckEveryQuestion(kDefaultAnswers, SeedStandardHost);
}

TEST(InputScenarioTest, HostileAnswersAndEndOfInputAtEveryQuestionWithMailPart) {
  CheckEveryQuestion(kDefaultMailAnswers, SeedMailHost);
}

}  // namespace
