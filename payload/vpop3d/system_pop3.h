#pragma once

// Logins without a virtual domain belong to the host's own POP3 daemon:
// the session is handed over to it, as if the client had spoken to it
// from the start.

#include <functional>
#include <string>

// The program named by vpop3d's argument: a bare name is looked up in
// /usr/sbin, as inetd passes just the daemon's name.
std::string SystemPop3Path(const std::string& argument);

// Starts the daemon at `path`, takes its greeting, sends it the client's
// USER line and then `pending` (what the client sent after it), and relays
// between the client (`in_fd`, `out_fd`) and the daemon until either side
// closes. `before_relay`, when given, runs once the daemon has greeted
// (to give up root, which only starting the daemon needs); the relay stops
// when it fails. False, with nothing sent to the client, when the daemon
// cannot be started or sends no greeting.
bool RelayToSystemPop3(const std::string& path, const std::string& user_line,
                       const std::string& pending, int in_fd, int out_fd,
                       const std::function<bool()>& before_relay = nullptr);
