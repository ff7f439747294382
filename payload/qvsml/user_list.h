#pragma once

// A virtual domain's users, the file named after it in kUserListFolder
// (mode 0640): one
// `user:password-hash` line each, the hash from crypt(3), SHA-512 ("$6$").

#include <optional>
#include <string>
#include <vector>

struct MailUser {
  std::string name;  // lower case
  std::string password_hash;
};

// The users of `text`; blank lines and lines starting with "#" are skipped.
// False with `err` naming the line for a line without ":" or with an unsafe
// user name.
bool ParseUserList(const std::string& text, std::vector<MailUser>* users, std::string* err);

// Reads and parses the list at `path`.
bool ReadUserList(const std::string& path, std::vector<MailUser>* users, std::string* err);

// The user called `name` (any case), if listed.
std::optional<MailUser> FindUser(const std::vector<MailUser>& users, const std::string& name);

// The list's text for `users`, one line each.
std::string RenderUserList(const std::vector<MailUser>& users);

// Whether `password` matches `hash`. An empty or locked hash ("!", "*")
// never matches, nor does a password holding a NUL.
bool CheckPassword(const std::string& password, const std::string& hash);

// A new SHA-512 crypt(3) hash of `password` with a random salt; false with
// `err` when the password holds a NUL or the system cannot make one.
bool HashPassword(const std::string& password, std::string* hash, std::string* err);
