#include "payload/vpop3d/login.h"

#include <vector>

#include "common/layout.h"
#include "payload/qvsml/safe_name.h"
#include "payload/qvsml/service_conf.h"
#include "payload/qvsml/user_list.h"
#include "payload/qvsml/virtual_domains.h"

bool SplitLogin(const std::string& login, std::string* user, std::string* domain) {
  const size_t at = login.find_last_of("@%");
  if (at == std::string::npos) return false;
  *user = LowerCase(login.substr(0, at));
  *domain = LowerCase(login.substr(at + 1));
  return true;
}

bool CheckLogin(const std::string& user, const std::string& domain, const std::string& password) {
  if (!IsSafeName(user) || !IsSafeName(domain)) return false;
  ServiceConf conf;
  std::vector<std::string> domains;
  std::vector<MailUser> users;
  std::string err;
  if (!ReadServiceConf(kConfFile, &conf, &err) ||
      !ReadVirtualDomains(VirtualDomainsPath(conf.InsFolder), &domains, &err) ||
      !IsVirtualDomain(domains, domain) || !ReadUserList(UserListPath(domain), &users, &err))
    return false;
  const std::optional<MailUser> found = FindUser(users, user);
  return found && CheckPassword(password, found->password_hash);
}
