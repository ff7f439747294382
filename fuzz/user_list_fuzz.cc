// Properties of a virtual domain's user list: every user read has a safe,
// lower-case name; the list written back for those users reads to the same
// users (when no hash holds a control character: crypt(3) never makes one,
// and a carriage return that ends a line is dropped on reading); a name is
// found in any case.

#include <string>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "payload/qvsml/safe_name.h"
#include "payload/qvsml/user_list.h"

namespace {

bool SameUsers(const std::vector<MailUser>& a, const std::vector<MailUser>& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (a[i].name != b[i].name || a[i].password_hash != b[i].password_hash) return false;
  }
  return true;
}

std::string UpperCase(std::string name) {
  for (char& c : name) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return name;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(AsText(data, size));
  std::vector<MailUser> users;
  std::string err;
  if (!ParseUserList(text, &users, &err)) {
    FUZZ_CHECK(!err.empty());
    return 0;
  }
  for (const MailUser& user : users) {
    FUZZ_CHECK(IsSafeName(user.name) && LowerCase(user.name) == user.name);
    std::optional<MailUser> found = FindUser(users, UpperCase(user.name));
    FUZZ_CHECK(found && found->name == user.name);
  }
  for (const MailUser& user : users) {
    for (char c : user.password_hash) {
      if (IsControl(c)) return 0;
    }
  }
  std::vector<MailUser> again;
  FUZZ_CHECK(ParseUserList(RenderUserList(users), &again, &err));
  FUZZ_CHECK(SameUsers(users, again));
  return 0;
}
