#pragma once

// One POP3 session (RFC 1939, with CAPA) on a connection that xinetd or
// inetd handed over: greeting, login, the transaction commands and the
// update at QUIT.

#include <string>

struct SessionSettings {
  std::string system_pop3;      // the host's own POP3 daemon
  int idle_seconds = 10 * 60;   // then the client is disconnected
  int login_delay_seconds = 2;  // before a failed login is answered
  int lock_wait_seconds = 5;    // for a mailbox a delivery holds
  int failed_logins_allowed = 3;
};

// Runs the session to its end; the exit status for the program.
int RunPop3Session(int in_fd, int out_fd, const SessionSettings& settings);
