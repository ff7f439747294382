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
#include <string>
#include <vector>

#include "preview/preview_report.h"
#include "sandbox/sandbox.h"

namespace {

constexpr int kHoursToAnswer = 12;
constexpr char kUsage[] =
    "usage: qvpreview [--layer DIR]... [--then COMMAND]...\n"
    "       qvpreview --version\n";

volatile sig_atomic_t g_interrupt = 0;

void OnInterrupt(int sig) { g_interrupt = sig; }

struct Options {
  std::vector<std::string> layers;  // host folders laid over this host's files
  std::vector<std::string> then;    // shell commands run after the installer
};

// False after printing the usage; exits for --version.
bool ParseOptions(int argc, char** argv, Options* options) {
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--version" && argc == 2) {
      printf("qvpreview %s\n", QV_VERSION);
      exit(0);
    }
    if ((arg == "--layer" || arg == "--then") && i + 1 < argc) {
      (arg == "--layer" ? options->layers : options->then).push_back(argv[++i]);
      continue;
    }
    fputs(kUsage, stderr);
    return false;
  }
  return true;
}

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

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!ParseOptions(argc, argv, &options)) return 2;
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
  RunResult result = sandbox.Run({release_dir + "/qvinstall"}, ConsoleRun(release_dir));
  if (result.exit_status < 0 && result.output.rfind("sandbox:", 0) == 0) {
    ExplainSetupFailure(result.output);
    return 1;
  }
  for (const std::string& command : options.then) {
    if (g_interrupt) break;
    printf("=== %s ===\n", command.c_str());
    fflush(stdout);
    result.changes = sandbox.Run({"/bin/sh", "-c", command}, ConsoleRun("/")).changes;
  }
  if (g_interrupt) printf("\nqvpreview: interrupted; this is what the installer left behind\n");
  printf("%s", PreviewReport(sandbox, result.changes).c_str());
  printf("Nothing was changed on this host.\n");
  fflush(stdout);
  return g_interrupt ? 128 + g_interrupt : ExitStatus(result);
}
