#pragma once

// A POP3 connection served in two processes, so that no byte from the
// network is read by a process that could read every mailbox or become
// root again:
// - the reader, the unprivileged account (nobody) unable to open any file
//   or start any process, greets the client and reads its login;
// - the monitor, which stayed root, judges each login the reader passes on
//   (the password against the user list, the failures of the client's
//   address across connections, the delay after a failure) and, once one
//   is accepted, gives up root for the mail account for good and serves the
//   rest of the session itself. A login without a virtual domain goes to
//   the host's own POP3 daemon, started by the monitor as root, which then
//   relays as nobody.
// The whole session ends at its time limit, however busy the client is.

#include "payload/vpop3d/pop3_session.h"

// Serves the connection on `in_fd` and `out_fd` to its end; the exit status.
// Must be started as root.
int RunSplitSession(int in_fd, int out_fd, SessionSettings settings);
