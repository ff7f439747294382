#pragma once

// What the unprivileged process that reads a client's login may ask the
// monitor that stayed root, over a socket pair of datagrams (one message a
// datagram): whether a login is right, and whether the host's own POP3
// daemon takes a login without a virtual domain. Each request carries the
// bytes the client sent after its line, which the process that goes on with
// the session takes over. Nothing else crosses.

#include <chrono>
#include <string>

struct GateRequest {
  enum class Kind : char { kLogin = 'L', kRelay = 'R' };
  Kind kind = Kind::kLogin;
  std::string login;     // kLogin: USER's argument; kRelay: the client's USER line
  std::string password;  // kLogin only
  std::string pending;   // what the client sent after the line
};

enum class GateVerdict : char {
  kAccepted = 'A',            // the session goes on as the mail account
  kRejected = 'R',            // wrong user or password; the client may try again
  kTooManyInSession = 'S',    // the session's last failure
  kTooManyFromAddress = 'F',  // the client's address has failed too often lately
  kUnavailable = 'U',         // logins cannot be judged now
  kRelayTaken = 'T',          // the host's daemon goes on with the session
  kNoRelay = 'N',             // there is no host daemon
};

// A request as one datagram, and back; false for anything malformed.
std::string EncodeRequest(const GateRequest& request);
bool DecodeRequest(const std::string& datagram, GateRequest* request);

// The largest datagram either side sends or accepts.
constexpr size_t kLargestGateDatagram = 16 * 1024;

// Sends `request` on `fd`; false when it is not sent whole.
bool SendRequest(int fd, const GateRequest& request);
// Waits until `deadline` for a request on `fd`; false when none comes, the
// other side is gone or the datagram is malformed.
bool ReceiveRequest(int fd, std::chrono::steady_clock::time_point deadline, GateRequest* request);

bool SendVerdict(int fd, GateVerdict verdict);
// Blocks for the verdict; false when the monitor is gone.
bool ReceiveVerdict(int fd, GateVerdict* verdict);
