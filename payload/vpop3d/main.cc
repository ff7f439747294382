// vpop3d SYSTEM-POP3D: the POP3 server for the virtual mailboxes, started
// by xinetd or inetd for each connection with the connection on standard
// input and output. Logins without a virtual domain go to SYSTEM-POP3D.

#include <signal.h>
#include <sys/stat.h>

#include "payload/vpop3d/split_session.h"

int main(int argc, char** argv) {
  struct sigaction ignore = {};
  ignore.sa_handler = SIG_IGN;
  sigaction(SIGPIPE, &ignore, nullptr);
  umask(077);
  SessionSettings settings;
  settings.system_pop3 = argc > 1 ? argv[1] : "ipop3d";
  return RunSplitSession(0, 1, settings);
}
