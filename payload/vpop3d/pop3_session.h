#pragma once

// One POP3 session (RFC 1939, with CAPA) on a connection that xinetd or
// inetd handed over, in two halves run by two processes: the authorization
// state (greeting, USER, PASS) as an unprivileged process that asks the
// monitor to judge each login, then the transaction state and the update at
// QUIT as the mail account.

#include <string>

#include "payload/vpop3d/client_lines.h"

struct SessionSettings {
  std::string system_pop3;        // the host's own POP3 daemon
  int idle_seconds = 10 * 60;     // then the client is disconnected
  int session_seconds = 30 * 60;  // the whole session, however busy
  int login_delay_seconds = 2;    // before a failed login is answered
  int lock_wait_seconds = 5;      // for a mailbox a delivery holds
  int failed_logins_allowed = 3;  // in one session
  SessionClock::time_point deadline = SessionClock::time_point::max();  // set at the start
};

// The authorization state: every login, and every login without a virtual
// domain, is put to the monitor through `gate_fd` (login_gate.h). Ends when
// the client leaves, or once the monitor has taken the session on; the
// exit status for the program.
int RunPop3Authorization(int in_fd, int out_fd, const SessionSettings& settings, int gate_fd);

// The transaction state for `user`@`domain`, whose login the monitor
// accepted; `pending` is what the client sent after its PASS line. Opens
// and locks the mailbox first and answers the PASS. The exit status.
int RunPop3Transaction(int in_fd, int out_fd, const SessionSettings& settings,
                       const std::string& user, const std::string& domain,
                       const std::string& pending);
