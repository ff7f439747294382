// Runs a whole installation with the default answers in a throwaway sandbox
// and shows the dialogue and what it changed.
//   sandbox_demo [--mail] DIST_DIR

#include <limits.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tests/installer_run.h"
#include "sandbox/sandbox.h"

namespace {

constexpr off_t kShownFileSize = 4096;

void PrintAnswers(const std::string& answers) {
  printf("=== Answers ===\n");
  size_t start = 0;
  while (start < answers.size()) {
    size_t end = answers.find('\n', start);
    if (end == std::string::npos) end = answers.size();
    std::string answer = answers.substr(start, end - start);
    printf("%s\n", answer.empty() ? "<Enter>" : answer.c_str());
    start = end + 1;
  }
}

bool Under(const std::string& path, const std::string& folder) {
  return path.compare(0, folder.size() + 1, folder + "/") == 0;
}

// Small text files the run wrote are worth reading in full.
void PrintContent(const Sandbox& sandbox, const std::string& path) {
  if (!Under(path, "/etc") && !Under(path, kWorkingFolder) &&
      !Under(path, kDefaultInstallationFolder)) {
    return;
  }
  std::optional<struct stat> st = sandbox.StatAfter(path);
  if (!st || !S_ISREG(st->st_mode) || st->st_size >= kShownFileSize) return;
  std::optional<std::string> content = sandbox.ReadAfter(path);
  if (!content) return;
  printf("    --- %s ---\n", path.c_str());
  size_t start = 0;
  while (start < content->size()) {
    size_t end = content->find('\n', start);
    if (end == std::string::npos) end = content->size();
    printf("    %s\n", content->substr(start, end - start).c_str());
    start = end + 1;
  }
}

}  // namespace

int main(int argc, char** argv) {
  bool mail = false;
  std::string dist_dir;
  for (int i = 1; i < argc; ++i) {
    if (strcmp(argv[i], "--mail") == 0) {
      mail = true;
    } else if (dist_dir.empty()) {
      dist_dir = argv[i];
    } else {
      dist_dir.clear();
      break;
    }
  }
  if (dist_dir.empty()) {
    fprintf(stderr, "usage: sandbox_demo [--mail] DIST_DIR\n");
    return 2;
  }
  char resolved[PATH_MAX];
  if (!realpath(dist_dir.c_str(), resolved)) {
    fprintf(stderr, "sandbox_demo: %s: %s\n", dist_dir.c_str(), strerror(errno));
    return 2;
  }
  dist_dir = resolved;

  Sandbox sandbox;
  if (mail) {
    SeedMailHost(sandbox);
  } else {
    SeedStandardHost(sandbox);
  }
  std::string answers = mail ? kDefaultMailAnswers : kDefaultAnswers;
  RunOptions options;
  options.working_dir = dist_dir;
  options.stdin_text = answers;
  RunResult result = sandbox.Run({dist_dir + "/qvinstall"}, options);

  PrintAnswers(answers);
  printf("=== Transcript ===\n%s", result.output.c_str());
  if (!result.output.empty() && result.output.back() != '\n') printf("\n");
  if (result.term_signal != 0) {
    printf("=== Ended by signal %d%s ===\n", result.term_signal,
           result.timed_out ? " (timed out)" : "");
  } else {
    printf("=== Exit status: %d ===\n", result.exit_status);
  }
  printf("=== What the installation changed ===\n%s", result.changes.ToString().c_str());
  std::vector<std::string> written = result.changes.created;
  written.insert(written.end(), result.changes.changed.begin(), result.changes.changed.end());
  std::sort(written.begin(), written.end());
  for (const std::string& path : written) PrintContent(sandbox, path);
  fflush(stdout);
  return result.exit_status == 0 ? 0 : 1;
}
