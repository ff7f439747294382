// Rules this file keeps:
// - the reader holds no privilege and can open nothing: every byte of the
//   client before a login is accepted is read there;
// - the monitor reads only the reader's requests (login_gate.h) while it
//   is root, and gives up root for good before it serves a session;
// - a failed login counts before its password is checked, and a failure
//   is answered only after the delay, whatever the reader does;
// - no process outlives the session's limit by more than a grace period.

#include "payload/vpop3d/split_session.h"

#include <arpa/inet.h>
#include <errno.h>
#include <netinet/in.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <string>

#include "common/layout.h"
#include "common/mail_account.h"
#include "common/write_all.h"
#include "payload/qvsml/give_up_root.h"
#include "payload/qvsml/service_conf.h"
#include "payload/vpop3d/failed_logins.h"
#include "payload/vpop3d/login.h"
#include "payload/vpop3d/login_gate.h"
#include "payload/vpop3d/system_pop3.h"

namespace {

// How long past the session's limit a process may take to end by itself
// (a client that stopped reading blocks a write) before SIGALRM ends it.
constexpr unsigned kEndingGraceSeconds = 60;

// What the session became once the reader was done.
struct Outcome {
  enum class Kind { kEnded, kLoggedIn, kRelay };
  Kind kind = Kind::kEnded;
  std::string user, domain;  // kLoggedIn
  std::string line;          // kRelay: the client's USER line
  std::string pending;       // what the client sent after its last line
};

int Unavailable(int out_fd, const std::string& why) {
  const std::string answer = "-ERR " + why + "\r\n";
  WriteAll(out_fd, answer.data(), answer.size());
  return 1;
}

// The client's address as text; "local" for a connection that is no
// network socket.
std::string PeerAddress(int fd) {
  sockaddr_storage address = {};
  socklen_t length = sizeof address;
  if (getpeername(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) return "local";
  char text[INET6_ADDRSTRLEN] = "";
  const void* raw = nullptr;
  if (address.ss_family == AF_INET)
    raw = &reinterpret_cast<const sockaddr_in*>(&address)->sin_addr;
  else if (address.ss_family == AF_INET6)
    raw = &reinterpret_cast<const sockaddr_in6*>(&address)->sin6_addr;
  if (!raw || !inet_ntop(address.ss_family, raw, text, sizeof text)) return "local";
  return text;
}

// Becomes nobody, unable to open a file, start a process or gain a
// privilege again: what the reader needs is open already. (One descriptor
// is allowed because poll refuses to wait on more than the limit; the
// lowest number a new one could take is the client's, which stays open.)
bool BecomeReader(std::string* err) {
  if (chdir("/") != 0 || !BecomeAccount(kUnprivilegedAccount, err)) return false;
  const struct rlimit none = {0, 0}, one = {1, 1};
  if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0 || setrlimit(RLIMIT_NOFILE, &one) != 0 ||
      setrlimit(RLIMIT_NPROC, &none) != 0 || setrlimit(RLIMIT_FSIZE, &none) != 0) {
    *err = "cannot limit the reader";
    return false;
  }
  return true;
}

// Judges the reader's requests until a login is accepted, the host's
// daemon takes the session, or the reader is done.
Outcome Monitor(int gate_fd, const std::string& peer, const SessionSettings& settings) {
  ServiceConf conf;
  FailedLogins failures;
  std::string err;
  // Without the record of failures no login is judged at all.
  const bool judging = ReadServiceConf(kConfFile, &conf, &err) &&
                       failures.Open(FailedLogins::PathIn(conf.InsFolder), &err);
  int failed = 0;
  GateRequest request;
  while (ReceiveRequest(gate_fd, settings.deadline, &request)) {
    if (request.kind == GateRequest::Kind::kRelay) {
      if (access(SystemPop3Path(settings.system_pop3).c_str(), X_OK) != 0) {
        if (!SendVerdict(gate_fd, GateVerdict::kNoRelay)) break;
        continue;
      }
      SendVerdict(gate_fd, GateVerdict::kRelayTaken);
      return {Outcome::Kind::kRelay, "", "", request.login, request.pending};
    }
    const time_t now = time(nullptr);
    if (!judging) {
      SendVerdict(gate_fd, GateVerdict::kUnavailable);
      break;
    }
    if (!failures.Reserve(peer, now)) {
      SendVerdict(gate_fd, GateVerdict::kTooManyFromAddress);
      break;
    }
    std::string user, domain;
    if (SplitLogin(request.login, &user, &domain) && CheckLogin(user, domain, request.password)) {
      failures.Forgive(peer, now);
      SendVerdict(gate_fd, GateVerdict::kAccepted);
      return {Outcome::Kind::kLoggedIn, user, domain, "", request.pending};
    }
    sleep(static_cast<unsigned>(settings.login_delay_seconds));
    const bool last = ++failed >= settings.failed_logins_allowed;
    if (!SendVerdict(gate_fd, last ? GateVerdict::kTooManyInSession : GateVerdict::kRejected) ||
        last)
      break;
  }
  return {};
}

}  // namespace

int RunSplitSession(int in_fd, int out_fd, SessionSettings settings) {
  settings.deadline = SessionClock::now() + std::chrono::seconds(settings.session_seconds);
  const unsigned alarm_seconds =
      static_cast<unsigned>(settings.session_seconds) + kEndingGraceSeconds;
  alarm(alarm_seconds);
  int gate[2];
  if (geteuid() != 0) return Unavailable(out_fd, "vpop3d must be started as root");
  if (socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, gate) != 0)
    return Unavailable(out_fd, "POP3 service unavailable");
  // The reader is this program going on with less privilege, not another
  // program: it forks where every other program is started through Spawn.
  const pid_t reader = fork();
  if (reader < 0) return Unavailable(out_fd, "POP3 service unavailable");
  if (reader == 0) {
    close(gate[0]);
    alarm(alarm_seconds);  // a child starts without its parent's alarm
    std::string err;
    // _exit: nothing of the monitor's is flushed or run twice.
    if (!BecomeReader(&err)) _exit(Unavailable(out_fd, "POP3 service unavailable"));
    _exit(RunPop3Authorization(in_fd, out_fd, settings, gate[1]));
  }
  close(gate[1]);
  const Outcome outcome = Monitor(gate[0], PeerAddress(in_fd), settings);
  close(gate[0]);
  // The reader says nothing more once the monitor has the session.
  while (waitpid(reader, nullptr, 0) < 0 && errno == EINTR) {
  }
  std::string err;
  switch (outcome.kind) {
    case Outcome::Kind::kEnded:
      return 0;
    case Outcome::Kind::kLoggedIn:
      if (!BecomeAccount(kMailAccount, &err))
        return Unavailable(out_fd, "the mailbox cannot be opened now; try again later");
      return RunPop3Transaction(in_fd, out_fd, settings, outcome.user, outcome.domain,
                                outcome.pending);
    case Outcome::Kind::kRelay:
      if (RelayToSystemPop3(SystemPop3Path(settings.system_pop3), outcome.line, outcome.pending,
                            in_fd, out_fd,
                            [&err] { return BecomeAccount(kUnprivilegedAccount, &err); }))
        return 0;
      return Unavailable(out_fd, "only virtual mailboxes are served here: log in as user@domain");
  }
  return 0;
}
