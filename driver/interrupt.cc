// Rules this file keeps: the handler may run at any instant, in the middle
// of any library call, so it uses only async-signal-safe system calls, paths
// fixed before it was installed, no allocation and no stdio, and it ends with
// _exit.

#include "driver/interrupt.h"

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include "config/conf_file.h"
#include "host/extract.h"
#include "host/remove_dir.h"

void InsStop(int /*signal_number*/) {
  signal(SIGTERM, InsStop);
  // The configuration file, if there is one, is this run's: the run stops at
  // once when it finds one. A link there was never written by the run.
  struct stat st;
  if (lstat(kConfFile, &st) == 0 && S_ISREG(st.st_mode)) unlink(kConfFile);
  RemoveDir(kWorkingFolder);
  _exit(0);
}

void InstallInterruptHandler() {
  signal(SIGTERM, InsStop);
  signal(SIGHUP, InsStop);
  signal(SIGINT, InsStop);
}
