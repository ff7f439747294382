// Runs the benchmark probe (bench/probe.cc) in a throwaway sandbox, so
// nothing it does reaches the machine:
//   sandbox_bench extract PROBE DIR TAR_GZ   from DIR, which holds decode
//   sandbox_bench install PROBE DIST_DIR     a default installation on a
//                                            standard host
// Prints what the probe printed; exits with its status.

#include <stdio.h>
#include <string.h>

#include <string>

#include "tests/installer_run.h"
#include "sandbox/sandbox.h"

int main(int argc, char** argv) {
  if (argc < 4 || (strcmp(argv[1], "extract") != 0 && strcmp(argv[1], "install") != 0) ||
      (strcmp(argv[1], "extract") == 0 && argc != 5) ||
      (strcmp(argv[1], "install") == 0 && argc != 4)) {
    fprintf(stderr,
            "usage: sandbox_bench extract PROBE DIR TAR_GZ\n"
            "       sandbox_bench install PROBE DIST_DIR\n");
    return 2;
  }
  bool install = strcmp(argv[1], "install") == 0;
  Sandbox sandbox;
  RunOptions options;
  options.working_dir = argv[3];
  options.timeout_seconds = 600;
  RunResult result;
  if (install) {
    SeedStandardHost(sandbox);
    options.stdin_text = kDefaultAnswers;
    result = sandbox.Run({argv[2], "install", std::string(argv[3]) + "/qvinstall"}, options);
  } else {
    result = sandbox.Run({argv[2], "extract", argv[4]}, options);
  }
  fputs(result.output.c_str(), stdout);
  if (result.exit_status != 0) {
    fprintf(stderr, "sandbox_bench: the probe failed (status %d, signal %d%s)\n",
            result.exit_status, result.term_signal, result.timed_out ? ", timed out" : "");
    return 1;
  }
  return 0;
}
