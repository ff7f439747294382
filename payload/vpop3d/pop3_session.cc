#include "payload/vpop3d/pop3_session.h"

#include <sys/stat.h>
#include <unistd.h>

#include <memory>

#include "payload/qvsml/mailbox_file.h"
#include "payload/qvsml/mbox_lock.h"
#include "payload/vpop3d/client_lines.h"
#include "payload/vpop3d/login.h"
#include "payload/vpop3d/login_gate.h"
#include "payload/vpop3d/maildrop.h"
#include "payload/vpop3d/pop3_command.h"
#include "payload/vpop3d/pop3_output.h"

namespace {

constexpr char kCapabilities[] = "TOP\r\nUSER\r\nUIDL\r\n.";

class Session {
 public:
  Session(int in_fd, int out_fd, const SessionSettings& settings)
      : input_(in_fd, settings.idle_seconds, settings.deadline),
        out_(out_fd),
        settings_(settings) {}
  ~Session() {
    lock_.Release();
    if (mailbox_fd_ >= 0) close(mailbox_fd_);
    if (domain_fd_ >= 0) close(domain_fd_);
  }

  // The authorization state, asking the monitor at `gate_fd`.
  int Authorize(int gate_fd);
  // The transaction state for a login the monitor accepted.
  int Serve(const std::string& user, const std::string& domain, const std::string& pending);

 private:
  int Run();
  // Each returns false when the session ends.
  bool Authorization(const Pop3Command& command, const std::string& line);
  bool Transaction(const Pop3Command& command);
  bool Login(const std::string& password);
  bool OpenMaildrop(const std::string& user, const std::string& domain, std::string* err);
  void Answer(const std::string& line) { out_.Line(line); }

  ClientLines input_;
  Pop3Output out_;
  SessionSettings settings_;
  int gate_fd_ = -1;
  bool in_transaction_ = false;
  std::string login_;  // USER's argument
  int domain_fd_ = -1;
  int mailbox_fd_ = -1;
  std::string user_;
  MboxLock lock_;
  Maildrop maildrop_;
};

int Session::Authorize(int gate_fd) {
  gate_fd_ = gate_fd;
  Answer("+OK POP3 server ready");
  return Run();
}

int Session::Serve(const std::string& user, const std::string& domain, const std::string& pending) {
  input_.TakeOver(pending);
  std::string err;
  if (!OpenMaildrop(user, domain, &err)) {
    Answer("-ERR " + err);
    out_.Flush();
    return 0;
  }
  in_transaction_ = true;
  Answer("+OK " + user + "@" + domain + " has " + std::to_string(maildrop_.messages().size()) +
         " messages");
  return Run();
}

int Session::Run() {
  for (;;) {
    // Answers wait while the client's next command is here already: a
    // client that sends many at once gets them in full buffers.
    if (!input_.LineWaiting() && !out_.Flush()) return 1;
    std::string line, err;
    switch (input_.Next(&line)) {
      case ClientRead::kClosed:
        return 0;
      case ClientRead::kIdle:
        // RFC 1939: a timed-out session never enters the update state.
        Answer("-ERR autologout: idle for too long");
        out_.Flush();
        return 0;
      case ClientRead::kSessionOver:
        Answer("-ERR autologout: session time limit reached");
        out_.Flush();
        return 0;
      case ClientRead::kTooLong:
        Answer("-ERR command line too long");
        continue;
      case ClientRead::kLine:
        break;
    }
    lock_.Refresh();
    Pop3Command command;
    if (!ParsePop3Command(line, &command, &err)) {
      Answer("-ERR " + err);
      continue;
    }
    const bool go_on = in_transaction_ ? Transaction(command) : Authorization(command, line);
    if (!go_on) {
      out_.Flush();
      return 0;
    }
  }
}

bool Session::Authorization(const Pop3Command& command, const std::string& line) {
  switch (command.verb) {
    case Pop3Verb::kCapa:
      Answer(std::string("+OK Capability list follows\r\n") + kCapabilities);
      return true;
    case Pop3Verb::kQuit:
      Answer("+OK bye");
      return false;
    case Pop3Verb::kNoop:
      Answer("+OK");
      return true;
    case Pop3Verb::kUser: {
      std::string user, domain;
      if (SplitLogin(command.text, &user, &domain)) {
        login_ = command.text;
        Answer("+OK send your password");
        return true;
      }
      // The host's own mailboxes are its own POP3 daemon's business; the
      // monitor hands the session over to it when it is there.
      GateVerdict verdict;
      out_.Flush();
      if (!SendRequest(gate_fd_, {GateRequest::Kind::kRelay, line, "", input_.pending()}) ||
          !ReceiveVerdict(gate_fd_, &verdict))
        return false;
      if (verdict == GateVerdict::kRelayTaken) return false;
      Answer("-ERR only virtual mailboxes are served here: log in as user@domain");
      return true;
    }
    case Pop3Verb::kPass:
      if (login_.empty()) {
        Answer("-ERR send USER first");
        return true;
      }
      return Login(command.text);
    default:
      Answer("-ERR log in first");
      return true;
  }
}

bool Session::Login(const std::string& password) {
  GateVerdict verdict;
  out_.Flush();
  const GateRequest request = {GateRequest::Kind::kLogin, login_, password, input_.pending()};
  login_.clear();
  // The monitor answers a failure only after the delay; the mail account
  // goes on with an accepted login.
  if (!SendRequest(gate_fd_, request) || !ReceiveVerdict(gate_fd_, &verdict)) return false;
  switch (verdict) {
    case GateVerdict::kAccepted:
      return false;
    case GateVerdict::kRejected:
      Answer("-ERR invalid user name or password");
      return true;
    case GateVerdict::kTooManyInSession:
      Answer("-ERR too many failed logins");
      return false;
    case GateVerdict::kTooManyFromAddress:
      Answer("-ERR too many failed logins from your address; try again later");
      return false;
    default:
      Answer("-ERR logins cannot be checked now; try again later");
      return false;
  }
}

bool Session::OpenMaildrop(const std::string& user, const std::string& domain, std::string* err) {
  domain_fd_ = OpenDomainSpool(domain, true, err);
  if (domain_fd_ < 0) return false;
  bool busy = false;
  mailbox_fd_ =
      OpenLockedMailbox(domain_fd_, user, settings_.lock_wait_seconds, &lock_, &busy, err);
  if (mailbox_fd_ >= 0 && maildrop_.Scan(mailbox_fd_, err)) {
    user_ = user;
    return true;
  }
  if (busy) *err = "unable to lock the mailbox, try again later";
  lock_.Release();
  if (mailbox_fd_ >= 0) close(mailbox_fd_);
  close(domain_fd_);
  mailbox_fd_ = domain_fd_ = -1;
  return false;
}

bool Session::Transaction(const Pop3Command& command) {
  std::vector<MaildropMessage>& messages = maildrop_.messages();
  MaildropMessage* message = nullptr;
  const bool needs_message = command.verb == Pop3Verb::kRetr || command.verb == Pop3Verb::kTop ||
                             command.verb == Pop3Verb::kDele || command.has_number;
  if (needs_message && !(message = maildrop_.Find(command.number))) {
    Answer("-ERR no such message");
    return true;
  }
  switch (command.verb) {
    case Pop3Verb::kStat: {
      size_t count = 0;
      uint64_t octets = 0;
      for (const MaildropMessage& m : messages) {
        if (m.deleted) continue;
        ++count;
        octets += m.octets;
      }
      Answer("+OK " + std::to_string(count) + " " + std::to_string(octets));
      return true;
    }
    case Pop3Verb::kList:
    case Pop3Verb::kUidl: {
      const bool uidl = command.verb == Pop3Verb::kUidl;
      const std::vector<std::string>* uids = nullptr;
      if (uidl && !maildrop_.Uids(&uids)) {
        Answer("-ERR mailbox: cannot read it");
        return true;
      }
      auto entry = [&](size_t index) {
        return std::to_string(index + 1) + " " +
               (uidl ? (*uids)[index] : std::to_string(messages[index].octets));
      };
      if (message) {
        Answer("+OK " + entry(static_cast<size_t>(message - messages.data())));
        return true;
      }
      Answer("+OK");
      for (size_t i = 0; i < messages.size(); ++i) {
        if (!messages[i].deleted) Answer(entry(i));
      }
      Answer(".");
      return true;
    }
    case Pop3Verb::kRetr:
    case Pop3Verb::kTop:
      Answer("+OK " + std::to_string(message->octets) + " octets");
      if (!maildrop_.Send(*message, command.verb == Pop3Verb::kTop, command.lines, &out_))
        return false;  // a mailbox or a connection that fails mid-message ends the session
      return true;
    case Pop3Verb::kDele:
      message->deleted = true;
      Answer("+OK message " + std::to_string(command.number) + " deleted");
      return true;
    case Pop3Verb::kRset:
      for (MaildropMessage& m : messages) m.deleted = false;
      Answer("+OK");
      return true;
    case Pop3Verb::kNoop:
      Answer("+OK");
      return true;
    case Pop3Verb::kCapa:
      Answer(std::string("+OK Capability list follows\r\n") + kCapabilities);
      return true;
    case Pop3Verb::kQuit: {
      std::string err;
      if (maildrop_.Commit(domain_fd_, user_, &err))
        Answer("+OK bye");
      else
        Answer("-ERR some deleted messages not removed: " + err);
      return false;
    }
    case Pop3Verb::kUser:
    case Pop3Verb::kPass:
      Answer("-ERR already logged in");
      return true;
  }
  return true;
}

}  // namespace

int RunPop3Authorization(int in_fd, int out_fd, const SessionSettings& settings, int gate_fd) {
  Session session(in_fd, out_fd, settings);
  return session.Authorize(gate_fd);
}

int RunPop3Transaction(int in_fd, int out_fd, const SessionSettings& settings,
                       const std::string& user, const std::string& domain,
                       const std::string& pending) {
  Session session(in_fd, out_fd, settings);
  return session.Serve(user, domain, pending);
}
