// qvpreview: runs the qvinstall beside it against a private copy-on-write
// view of this host and tells what the installation would change, while the
// host stays as it is. The administrator answers the questions as usual, on
// the terminal or through a pipe.
//
// Rules it keeps: everything the installer does lands in the view, which
// lives in namespaces of its own; an interrupt reaches the installer, which
// cleans up as on a real host, and the view is then taken down; no mount,
// process or scratch file outlives the preview.

#include <limits.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "preview/preview_options.h"
#include "preview/preview_report.h"
#include "sandbox/sandbox.h"

namespace {

constexpr int kHoursToAnswer = 12;

volatile sig_atomic_t g_interrupt = 0;

void OnInterrupt(int sig) { g_interrupt = sig; }

// The folder this program was started from, where qvinstall and decode are.
std::string ReleaseDir() {
  char exe[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
  if (n <= 0) return "";
  exe[n] = '\0';
  char* slash = strrchr(exe, '/');
  if (!slash) return "";
  *slash = '\0';
  return exe;
}

bool KernelHasNamespaces() {
  for (const char* ns : {"mnt", "pid", "uts", "net"}) {
    if (access((std::string("/proc/self/ns/") + ns).c_str(), F_OK) != 0) return false;
  }
  return true;
}

// Why the view could not be made, in the administrator's terms.
void ExplainSetupFailure(const std::string& sandbox_error) {
  if (sandbox_error.find("overlay") != std::string::npos) {
    fprintf(stderr, "qvpreview: this kernel lacks the overlay file system the preview needs\n");
  } else {
    fprintf(stderr, "qvpreview: cannot make the private view of this host\n");
  }
  fprintf(stderr, "qvpreview: %s", sandbox_error.c_str());
}

// An interrupt is passed on to the installer; a reader that goes away
// (`qvpreview | head`) must not end this program before it cleans up.
void CatchInterrupts() {
  struct sigaction action = {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  for (int sig : {SIGINT, SIGTERM, SIGHUP}) sigaction(sig, &action, nullptr);
  signal(SIGPIPE, SIG_IGN);
}

// A run the administrator follows and answers on this program's console,
// on the host's name, with time to think.
RunOptions ConsoleRun(const std::string& working_dir) {
  RunOptions run;
  run.working_dir = working_dir;
  run.console = true;
  run.keep_host_name = true;
  run.timeout_seconds = kHoursToAnswer * 3600;
  run.forward_signal = &g_interrupt;
  return run;
}

// The shell's exit status for a run: its code, or 128 + the signal.
int ExitStatus(const RunResult& result) {
  return result.term_signal ? 128 + result.term_signal : result.exit_status;
}

// The installer's command line in the view. The answer file is laid into
// the view where the installer will look for it, so that it is there even
// on a file system the view does not show.
std::vector<std::string> InstallerCommand(const std::string& release_dir,
                                          const std::string& answer_file, Sandbox& sandbox) {
  std::vector<std::string> argv = {release_dir + "/qvinstall"};
  if (answer_file.empty()) return argv;
  std::string path = answer_file;
  if (char* real = realpath(answer_file.c_str(), nullptr)) {
    path = real;
    free(real);
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    if (in) sandbox.Seed(path, content.str(), 0600);
  } else if (path[0] != '/') {
    char cwd[PATH_MAX];
    if (getcwd(cwd, sizeof cwd)) path = std::string(cwd) + "/" + path;
  }
  argv.push_back("--answers");
  argv.push_back(path);
  return argv;
}

// Each command after the installer, under a heading that names it.
std::vector<std::vector<std::string>> ThenCommands(const std::vector<std::string>& commands) {
  std::vector<std::vector<std::string>> then;
  for (const std::string& command : commands) {
    then.push_back({"/bin/sh", "-c", "printf '=== %s ===\\n' \"$1\"; exec /bin/sh -c \"$1\"",
                    "qvpreview", command});
  }
  return then;
}

}  // namespace

int main(int argc, char** argv) {
  const PreviewOptions options = ParsePreviewOptions(argc, argv);
  switch (options.action) {
    case PreviewOptions::Action::kHelp:
      fputs(kPreviewUsage, stdout);
      return 0;
    case PreviewOptions::Action::kVersion:
      printf("qvpreview %s\n", QV_VERSION);
      return 0;
    case PreviewOptions::Action::kUsageError:
      fputs(kPreviewUsage, stderr);
      return 2;
    case PreviewOptions::Action::kPreview:
      break;
  }
  if (geteuid() != 0) {
    fprintf(stderr, "qvpreview: must be run as root, as the installer it previews\n");
    return 1;
  }
  if (!KernelHasNamespaces()) {
    fprintf(stderr, "qvpreview: this kernel lacks the namespaces the preview needs\n");
    return 1;
  }
  std::string release_dir = ReleaseDir();
  for (const char* program : {"qvinstall", "decode"}) {
    if (access((release_dir + "/" + program).c_str(), X_OK) != 0) {
      fprintf(stderr, "qvpreview: no %s beside this program in %s\n", program, release_dir.c_str());
      return 1;
    }
  }
  CatchInterrupts();

  Sandbox sandbox;
  for (const std::string& layer : options.layers) sandbox.AddLayer(layer);
  RunOptions run = ConsoleRun(release_dir);
  run.then = ThenCommands(options.then);
  RunResult result = sandbox.Run(InstallerCommand(release_dir, options.answer_file, sandbox), run);
  if (result.exit_status < 0 && result.output.rfind("sandbox:", 0) == 0) {
    ExplainSetupFailure(result.output);
    return 1;
  }
  if (g_interrupt) printf("\nqvpreview: interrupted; this is what the installer left behind\n");
  printf("%s", PreviewReport(sandbox, result.changes).c_str());
  printf("Nothing was changed on this host.\n");
  fflush(stdout);
  return g_interrupt ? 128 + g_interrupt : ExitStatus(result);
}
