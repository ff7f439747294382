#include "payload/quorvane/mail_admin.h"

#include <errno.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

#include "common/layout.h"
#include "common/mail_account.h"
#include "payload/quorvane/mail_lists.h"
#include "payload/quorvane/password_input.h"
#include "payload/quorvane/sendmail_signal.h"
#include "payload/qvsml/give_up_root.h"
#include "payload/qvsml/list_file.h"
#include "payload/qvsml/safe_name.h"
#include "payload/qvsml/text_file.h"
#include "payload/qvsml/user_list.h"
#include "payload/qvsml/virtual_domains.h"

namespace {

constexpr int kDone = 0;
constexpr int kFailed = 1;
constexpr int kUsage = 2;
// Read and written by the mail account alone: its group is the service
// user's too.
constexpr mode_t kUserListMode = 0600;

int Fail(const std::string& message) {
  fprintf(stderr, "quorvane: %s\n", message.c_str());
  return kFailed;
}

int Usage() {
  fprintf(stderr,
          "usage: quorvane domain list | domain add NAME | domain remove NAME\n"
          "       quorvane user list [DOMAIN] | user add|remove|passwd USER@DOMAIN\n");
  return kUsage;
}

bool MailPartInstalled(const ServiceConf& conf) { return !conf.SendMailPIDFile.empty(); }

// sendmail reads its class of virtual domains only at start; SIGHUP makes
// it start again. The pid is the first line of the pid file the
// configuration names, and only a process running sendmail is signalled.
void TellSendmail(const ServiceConf& conf) {
  std::string text, err, program;
  long pid = 0;
  if (ReadTextFile(conf.SendMailPIDFile, &text, &err)) pid = strtol(text.c_str(), nullptr, 10);
  switch (SighupSendmail(static_cast<pid_t>(pid), &program)) {
    case SighupResult::kSent:
      printf("sendmail reads the domain list again\n");
      return;
    case SighupResult::kNotSendmail:
      printf("process %ld named by %s runs %s, not sendmail; no signal sent\n", pid,
             conf.SendMailPIDFile.c_str(),
             program.empty() ? "an unknown program" : program.c_str());
      printf("sendmail reads the domain list when it starts again\n");
      return;
    case SighupResult::kNotRunning:
      printf("sendmail is not running; it reads the domain list when it starts\n");
      return;
  }
}

bool ListedDomains(const ServiceConf& conf, std::vector<std::string>* domains, std::string* err) {
  return ReadVirtualDomains(VirtualDomainsPath(conf.InsFolder), domains, err);
}

// Rewrites the domain list with `name` added or removed.
int EditDomains(const ServiceConf& conf, const std::string& name, bool add) {
  if (!IsDomainName(name)) return Fail("not a domain name: " + name);
  const std::string domain = LowerCase(name);
  std::string err;
  ListFileEdit edit;
  if (!edit.Begin(conf.InsFolder + kEtcSubfolder, kVirtualDomainsFile, &err)) return Fail(err);
  size_t count = 0;
  std::string text = ReplaceLines(edit.text(), DomainOfLine, domain, add ? domain : "", &count);
  if (add && count > 0) {
    printf("Domain %s is already listed\n", domain.c_str());
    return kDone;
  }
  if (!add && count == 0) return Fail("domain " + domain + " is not listed");
  if (add) text = AppendLine(edit.text(), domain);
  if (!edit.Commit(text, 0644, &err)) return Fail(err);
  printf(add ? "Domain %s added\n" : "Domain %s removed; its user list and mailboxes are kept\n",
         domain.c_str());
  TellSendmail(conf);
  return kDone;
}

// Splits "user@domain" (or "user%domain") into lower-case, safe parts.
bool SplitAddress(const std::string& address, std::string* user, std::string* domain) {
  const size_t at = address.find_last_of("@%");
  if (at == std::string::npos) return false;
  *user = LowerCase(address.substr(0, at));
  *domain = LowerCase(address.substr(at + 1));
  return IsSafeName(*user) && user->find_first_of("@%:") == std::string::npos &&
         IsDomainName(*domain);
}

// A domain without a user list has no users yet.
int ListUsers(const std::vector<std::string>& domains) {
  int status = kDone;
  for (const std::string& domain : domains) {
    std::vector<MailUser> users;
    std::string err;
    struct stat st;
    if (lstat(UserListPath(domain).c_str(), &st) != 0 && errno == ENOENT) continue;
    if (!ReadUserList(UserListPath(domain), &users, &err)) {
      status = Fail(err);
      continue;
    }
    for (const MailUser& user : users) printf("%s@%s\n", user.name.c_str(), domain.c_str());
  }
  return status;
}

int EditUser(const ServiceConf& conf, const std::string& action, const std::string& address) {
  std::string user, domain, err;
  if (!SplitAddress(address, &user, &domain)) return Fail("not a mail address: " + address);
  std::vector<std::string> domains;
  if (!ListedDomains(conf, &domains, &err)) return Fail(err);
  if (!IsVirtualDomain(domains, domain)) {
    return Fail("domain " + domain + " is not listed; add it with 'quorvane domain add " + domain +
                "'");
  }
  // A new list belongs to the mail account, like the mailboxes.
  uid_t list_uid;
  gid_t list_gid;
  if (!LookUpAccount(kMailAccount, &list_uid, &list_gid, &err)) return Fail(err);
  std::string line;
  if (action != "remove") {
    std::string password, hash;
    if (!ReadNewPassword(&password, &err) || !HashPassword(password, &hash, &err)) return Fail(err);
    line = user + ":" + hash;
  }
  ListFileEdit edit;
  if (!edit.Begin(kUserListFolder, domain, &err)) return Fail(err);
  size_t count = 0;
  std::string text = ReplaceLines(edit.text(), UserOfLine, user, line, &count);
  if (action == "add" && count > 0) return Fail("user " + address + " exists already");
  if (action != "add" && count == 0) return Fail("no user " + user + "@" + domain);
  if (action == "add") text = AppendLine(edit.text(), line);
  if (!edit.Commit(text, kUserListMode, &err, list_uid, list_gid)) return Fail(err);
  const char* done = action == "add"      ? "added"
                     : action == "remove" ? "removed"
                                          : "has a new password";
  printf("User %s@%s %s\n", user.c_str(), domain.c_str(), done);
  return kDone;
}

}  // namespace

int DomainCommand(const ServiceConf& conf, const std::vector<std::string>& args) {
  if (!MailPartInstalled(conf)) return Fail("the mail part is not installed");
  if (args.size() == 1 && args[0] == "list") {
    std::string err;
    std::vector<std::string> domains;
    if (!ListedDomains(conf, &domains, &err)) return Fail(err);
    for (const std::string& domain : domains) printf("%s\n", domain.c_str());
    return kDone;
  }
  if (args.size() == 2 && (args[0] == "add" || args[0] == "remove")) {
    return EditDomains(conf, args[1], args[0] == "add");
  }
  return Usage();
}

int UserCommand(const ServiceConf& conf, const std::vector<std::string>& args) {
  if (!MailPartInstalled(conf)) return Fail("the mail part is not installed");
  if (args.size() == 1 && args[0] == "list") {
    std::string err;
    std::vector<std::string> domains;
    if (!ListedDomains(conf, &domains, &err)) return Fail(err);
    return ListUsers(domains);
  }
  if (args.size() == 2 && args[0] == "list") {
    if (!IsDomainName(args[1])) return Fail("not a domain name: " + args[1]);
    return ListUsers({LowerCase(args[1])});
  }
  if (args.size() == 2 && (args[0] == "add" || args[0] == "remove" || args[0] == "passwd")) {
    return EditUser(conf, args[0], args[1]);
  }
  return Usage();
}
