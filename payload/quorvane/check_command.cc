// Rules this file keeps:
// - what the check adds (a user in a domain's list, the mailbox its
//   message lands in, the domain's spool folder when there was none) is
//   removed again, also when a link fails;
// - the user it adds has a name no administrator gives and a random
//   password, and the message it sends has the null sender, so that a
//   message left in sendmail's queue never bounces to anyone;
// - every wait is bounded.

#include "payload/quorvane/check_command.h"

#include <signal.h>
#include <stdio.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "common/layout.h"
#include "payload/quorvane/line_client.h"
#include "payload/quorvane/mail_lists.h"
#include "payload/qvsml/list_file.h"
#include "payload/qvsml/safe_name.h"
#include "payload/qvsml/text_file.h"
#include "payload/qvsml/user_list.h"
#include "payload/qvsml/virtual_domains.h"

namespace {

constexpr int kAnswerSeconds = 30;
constexpr int kDeliverySeconds = 60;
constexpr uint16_t kSmtpPort = 25;
constexpr uint16_t kPop3Port = 110;

enum class State { kNotChecked, kOk, kFailed };

struct Link {
  explicit Link(std::string link_name) : name(std::move(link_name)) {}
  std::string name;
  State state = State::kNotChecked;
  std::string why;
};

// Random hex digits from the kernel.
std::string RandomHex(size_t count) {
  std::ifstream random("/dev/urandom", std::ios::binary);
  std::string hex;
  static const char kDigits[] = "0123456789abcdef";
  while (hex.size() < count && random) {
    const int byte = random.get();
    hex.push_back(kDigits[byte & 15]);
  }
  return hex;
}

bool Record(Link& link, bool ok, const std::string& why) {
  link.state = ok ? State::kOk : State::kFailed;
  if (!ok) link.why = why;
  return ok;
}

// The service greets and says goodbye.
bool ServiceAnswers(uint16_t port, std::string* why) {
  LineClient client(kAnswerSeconds);
  std::string line;
  if (!client.Connect(port, why) || !client.ReadLine(&line, why)) return false;
  if (line.rfind("+OK", 0) != 0) {
    *why = "it greets with " + line;
    return false;
  }
  return client.Send("QUIT", why) && client.ReadLine(&line, why);
}

// One SMTP exchange on localhost: the command gets `code` or the exchange fails.
bool Smtp(LineClient& client, const std::string& command, int code, std::string* why) {
  std::string reply;
  if (!command.empty() && !client.Send(command, why)) return false;
  const int got = client.ReadSmtpReply(&reply, why);
  if (got == code) return true;
  if (got >= 0) *why = (command.empty() ? "greeting" : command) + ": " + reply;
  return false;
}

// A connection to sendmail on localhost, greeted and introduced.
bool SmtpSession(LineClient& client, std::string* why) {
  return client.Connect(kSmtpPort, why) && Smtp(client, "", 220, why) &&
         Smtp(client, "HELO localhost", 250, why);
}

bool SendCheckMessage(const std::string& address, const std::string& token, std::string* why) {
  LineClient client(kAnswerSeconds);
  return SmtpSession(client, why) && Smtp(client, "MAIL FROM:<>", 250, why) &&
         Smtp(client, "RCPT TO:<" + address + ">", 250, why) && Smtp(client, "DATA", 354, why) &&
         client.Send("Subject: quorvane check " + token, why) && client.Send("", why) &&
         client.Send("quorvane check " + token, why) && Smtp(client, ".", 250, why) &&
         Smtp(client, "QUIT", 221, why);
}

bool LocalMailAccepted(std::string* why) {
  LineClient client(kAnswerSeconds);
  return SmtpSession(client, why) && Smtp(client, "MAIL FROM:<>", 250, why) &&
         Smtp(client, "RCPT TO:<root>", 250, why) && Smtp(client, "RSET", 250, why) &&
         Smtp(client, "QUIT", 221, why);
}

bool Delivered(const std::string& mailbox, const std::string& token, std::string* why) {
  for (int waited = 0; waited <= kDeliverySeconds * 5; ++waited) {
    std::string text, err;
    if (ReadTextFile(mailbox, &text, &err) && text.find(token) != std::string::npos) return true;
    struct timespec fifth = {0, 200 * 1000 * 1000};
    nanosleep(&fifth, nullptr);
  }
  *why = "nothing arrived in " + std::to_string(kDeliverySeconds) + " s (see mailq)";
  return false;
}

// A POP3 command answered "+OK", its answer in `line`.
bool Pop3(LineClient& client, const std::string& command, std::string* line, std::string* why) {
  if (!client.Send(command, why) || !client.ReadLine(line, why)) return false;
  if (line->rfind("+OK", 0) == 0) return true;
  *why = command.substr(0, command.find(' ')) + ": " + *line;
  return false;
}

bool FetchedOverPop3(const std::string& address, const std::string& password,
                     const std::string& token, std::string* why) {
  LineClient client(kAnswerSeconds);
  std::string line;
  if (!client.Connect(kPop3Port, why) || !client.ReadLine(&line, why)) return false;
  if (line.rfind("+OK", 0) != 0) {
    *why = "it greets with " + line;
    return false;
  }
  if (!Pop3(client, "USER " + address, &line, why) ||
      !Pop3(client, "PASS " + password, &line, why) || !Pop3(client, "RETR 1", &line, why))
    return false;
  bool found = false;
  while (client.ReadLine(&line, why) && line != ".")
    found = found || line.find(token) != std::string::npos;
  if (!found) {
    *why = "the first message is not the one sent";
    return false;
  }
  return Pop3(client, "DELE 1", &line, why) && Pop3(client, "QUIT", &line, why);
}

// The user the check sends to, in the first listed virtual domain, for as
// long as the object lives; its list line, mailbox and (when the check made
// it) the domain's spool folder go with it.
class CheckUser {
 public:
  bool Add(const ServiceConf& conf, std::string* why) {
    std::vector<std::string> domains;
    if (!ReadVirtualDomains(VirtualDomainsPath(conf.InsFolder), &domains, why)) return false;
    if (domains.empty()) {
      *why = "no virtual domain is listed (quorvane domain add NAME)";
      return false;
    }
    domain_ = domains.front();
    name_ = "qvcheck-" + RandomHex(12);
    password_ = RandomHex(24);
    struct stat st;
    spool_existed_ = stat((std::string(kMailSpool) + "/" + domain_).c_str(), &st) == 0;
    std::string hash;
    if (!HashPassword(password_, &hash, why)) return false;
    ListFileEdit edit;
    if (!edit.Begin(kUserListFolder, domain_, why)) return false;
    list_existed_ = edit.existed();
    if (!edit.Commit(AppendLine(edit.text(), name_ + ":" + hash), 0640, why)) return false;
    added_ = true;
    return true;
  }
  ~CheckUser() {
    if (!added_) return;
    const std::string mailbox = MailboxPath(domain_, name_);
    unlink(mailbox.c_str());
    unlink((mailbox + ".lock").c_str());
    if (!spool_existed_) rmdir((std::string(kMailSpool) + "/" + domain_).c_str());
    ListFileEdit edit;
    std::string err;
    size_t count = 0;
    if (!edit.Begin(kUserListFolder, domain_, &err)) return;
    const std::string text = ReplaceLines(edit.text(), UserOfLine, name_, "", &count);
    if (!list_existed_ && text.empty())
      unlink(UserListPath(domain_).c_str());
    else
      edit.Commit(text, 0640, &err);
  }
  std::string address() const { return name_ + "@" + domain_; }
  std::string mailbox() const { return MailboxPath(domain_, name_); }
  const std::string& password() const { return password_; }

 private:
  std::string domain_, name_, password_;
  bool spool_existed_ = false, list_existed_ = false, added_ = false;
};

void Print(const std::vector<Link>& links) {
  for (const Link& link : links) {
    switch (link.state) {
      case State::kOk:
        printf("%s: OK\n", link.name.c_str());
        break;
      case State::kFailed:
        printf("%s: FAILED (%s)\n", link.name.c_str(), link.why.c_str());
        break;
      case State::kNotChecked:
        printf("%s: not checked\n", link.name.c_str());
        break;
    }
  }
  for (const Link& link : links) {
    if (link.state == State::kFailed) {
      printf("The first broken link: %s\n", link.name.c_str());
      return;
    }
  }
  printf("Quorvane server works.\n");
}

}  // namespace

int CheckCommand(const ServiceConf& conf) {
  if (geteuid() != 0) {
    fprintf(stderr, "quorvane: check must run as root\n");
    return 1;
  }
  // A server that closes the connection fails its link, never the check.
  signal(SIGPIPE, SIG_IGN);
  std::vector<Link> links = {Link("Quorvane server answers on port " + std::to_string(conf.Port))};
  std::string why;
  Record(links[0], ServiceAnswers(static_cast<uint16_t>(conf.Port), &why), why);
  if (!conf.SendMailPIDFile.empty()) {
    links.emplace_back("sendmail accepts mail for a virtual domain on localhost");
    links.emplace_back("vdeliver delivers it");
    links.emplace_back("POP3 on localhost returns it through the super-server and vpop3d");
    links.emplace_back("sendmail accepts local mail for root on localhost");
    {
      CheckUser user;
      const std::string token = RandomHex(16);
      why.clear();
      if (Record(links[1], user.Add(conf, &why) && SendCheckMessage(user.address(), token, &why),
                 why)) {
        links[1].name = "sendmail accepts mail for " + user.address() + " on localhost";
        links[2].name = "vdeliver delivers it to " + user.mailbox();
        if (Record(links[2], Delivered(user.mailbox(), token, &why), why))
          Record(links[3], FetchedOverPop3(user.address(), user.password(), token, &why), why);
      }
    }
    Record(links[4], LocalMailAccepted(&why), why);
  }
  Print(links);
  for (const Link& link : links) {
    if (link.state != State::kOk) return 1;
  }
  return 0;
}
