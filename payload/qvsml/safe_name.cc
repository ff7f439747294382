#include "payload/qvsml/safe_name.h"

#include "common/layout.h"

namespace {

constexpr size_t kLongestName = 255;

}  // namespace

bool IsSafeName(const std::string& name) {
  if (name.empty() || name.size() > kLongestName || name[0] == '.') return false;
  if (name.find("..") != std::string::npos) return false;
  const std::string lock_suffix = ".lock";
  if (name.size() >= lock_suffix.size() &&
      name.compare(name.size() - lock_suffix.size(), lock_suffix.size(), lock_suffix) == 0)
    return false;
  for (unsigned char c : name) {
    if (c == '/' || c <= ' ' || c == 0x7f) return false;
  }
  return true;
}

std::string LowerCase(const std::string& name) {
  std::string lower = name;
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return lower;
}

std::string UserListPath(const std::string& domain) {
  return std::string(kUserListFolder) + "/" + domain;
}

std::string MailboxPath(const std::string& domain, const std::string& user) {
  return std::string(kMailSpool) + "/" + domain + "/" + user;
}
