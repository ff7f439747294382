// Rules this file keeps: the handler may run at any instant, in the middle
// of any library call, so it uses only async-signal-safe system calls, paths
// fixed before it was installed, no allocation and no stdio, and it ends with
// _exit. `make test` checks the calls of this file and of what it calls
// against a list of async-signal-safe functions.

#include "driver/interrupt.h"

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/remove_dir.h"
#include "config/conf_file.h"
#include "host/extract.h"
#include "host/install_lock.h"
#include "host/running_command.h"

void InsStop(int /*signal_number*/) {
  // The command goes first, so that nothing writes into the working folder
  // while it is removed.
  StopRunningCommand();
  // The configuration file, if there is one, is this run's: the run stops at
  // once when it finds one. A link there was never written by the run.
  struct stat st;
  if (lstat(kConfFile, &st) == 0 && S_ISREG(st.st_mode)) unlink(kConfFile);
  RemoveDir(kWorkingFolder);
  RemoveHeldLockFile();
  _exit(0);
}

void InstallInterruptHandler() {
  struct sigaction action = {};
  action.sa_handler = InsStop;
  action.sa_mask = StopSignals();
  action.sa_flags = SA_RESTART;
  for (int signal_number : {SIGTERM, SIGHUP, SIGINT}) sigaction(signal_number, &action, nullptr);
  signal(SIGPIPE, SIG_IGN);
}
