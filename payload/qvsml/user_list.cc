#include "payload/qvsml/user_list.h"

#include <crypt.h>
#include <string.h>

#include "payload/qvsml/safe_name.h"
#include "payload/qvsml/text_file.h"

bool ParseUserList(const std::string& text, std::vector<MailUser>* users, std::string* err) {
  std::vector<MailUser> parsed;
  const std::vector<std::string> lines = SplitLines(text);
  for (size_t n = 0; n < lines.size(); ++n) {
    const std::string& line = lines[n];
    if (TrimBlanks(line).empty() || line[0] == '#') continue;
    const size_t colon = line.find(':');
    MailUser user;
    if (colon != std::string::npos) {
      user.name = LowerCase(line.substr(0, colon));
      user.password_hash = line.substr(colon + 1);
    }
    if (colon == std::string::npos || !IsSafeName(user.name)) {
      *err = "line " + std::to_string(n + 1) + ": not a user:password-hash line";
      return false;
    }
    parsed.push_back(user);
  }
  *users = parsed;
  return true;
}

bool ReadUserList(const std::string& path, std::vector<MailUser>* users, std::string* err) {
  std::string text;
  if (!ReadTextFile(path, &text, err)) return false;
  if (ParseUserList(text, users, err)) return true;
  *err = path + ": " + *err;
  return false;
}

std::optional<MailUser> FindUser(const std::vector<MailUser>& users, const std::string& name) {
  const std::string wanted = LowerCase(name);
  for (const MailUser& user : users) {
    if (user.name == wanted) return user;
  }
  return std::nullopt;
}

std::string RenderUserList(const std::vector<MailUser>& users) {
  std::string text;
  for (const MailUser& user : users) text += user.name + ":" + user.password_hash + "\n";
  return text;
}

bool CheckPassword(const std::string& password, const std::string& hash) {
  // Only real hashes: "", "!" or "*..." lock the account, and crypt(3) must
  // never be handed a DES salt that a short value would make.
  if (hash.size() < 4 || hash[0] != '$') return false;
  // crypt(3) would read only up to a NUL, and a shorter password would pass.
  if (password.find('\0') != std::string::npos) return false;
  struct crypt_data data;
  memset(&data, 0, sizeof data);
  const char* result = crypt_r(password.c_str(), hash.c_str(), &data);
  if (!result || result[0] == '*') return false;
  // Compare in constant time so the delay tells nothing.
  const size_t length = strlen(result);
  if (length != hash.size()) return false;
  unsigned char difference = 0;
  for (size_t i = 0; i < length; ++i) difference |= static_cast<unsigned char>(result[i] ^ hash[i]);
  return difference == 0;
}

bool HashPassword(const std::string& password, std::string* hash, std::string* err) {
  if (password.find('\0') != std::string::npos) {
    *err = "a password may not hold a NUL";
    return false;
  }
  char salt[CRYPT_GENSALT_OUTPUT_SIZE];
  if (!crypt_gensalt_rn("$6$", 0, nullptr, 0, salt, sizeof salt)) {
    *err = std::string("cannot make a password salt: ") + strerror(errno);
    return false;
  }
  struct crypt_data data;
  memset(&data, 0, sizeof data);
  const char* result = crypt_r(password.c_str(), salt, &data);
  if (!result || result[0] == '*') {
    *err = "cannot hash the password";
    return false;
  }
  *hash = result;
  return true;
}
