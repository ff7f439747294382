#pragma once

// Who a POP3 login names and whether its password is right.

#include <string>

// Splits "user@domain" or "user%domain" at the last "@" or "%"; false when
// the name holds neither (a login for the host's own mailboxes).
bool SplitLogin(const std::string& login, std::string* user, std::string* domain);

// Whether `user` of the virtual `domain` (both lower case) exists and
// `password` is theirs, by the installation's domain list and the domain's
// user list. False for names that are not safe file names.
bool CheckLogin(const std::string& user, const std::string& domain, const std::string& password);
