// vpop3d SYSTEM-POP3D: the POP3 server for the virtual mailboxes, started
// by xinetd or inetd for each connection with the connection on standard
// input and output. Logins without a virtual domain go to SYSTEM-POP3D.

#include <signal.h>
#include <stdio.h>
#include <sys/stat.h>

#include <string_view>

#include "payload/vpop3d/split_session.h"

int main(int argc, char** argv) {
  // Asked from a shell, it answers before it would greet a client.
  constexpr char kUsage[] =
      "usage: vpop3d [SYSTEM-POP3D]   (started by xinetd or inetd for each connection)\n"
      "       vpop3d --help | --version\n";
  const std::string_view arg = argc > 1 ? argv[1] : "";
  if (argc == 2 && arg == "--help") {
    fputs(kUsage, stdout);
    return 0;
  }
  if (argc == 2 && arg == "--version") {
    printf("vpop3d %s\n", QV_VERSION);
    return 0;
  }
  if (argc > 2 || arg.starts_with("-")) {
    fputs(kUsage, stderr);
    return 2;
  }
  struct sigaction ignore = {};
  ignore.sa_handler = SIG_IGN;
  sigaction(SIGPIPE, &ignore, nullptr);
  umask(077);
  SessionSettings settings;
  settings.system_pop3 = argc > 1 ? argv[1] : "ipop3d";
  return RunSplitSession(0, 1, settings);
}
