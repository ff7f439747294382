#pragma once

// User and domain names become file names in the user list folder and the
// spool, so only names that stay inside those folders are accepted.

#include <string>

// Whether `name` is usable as one file name: not empty, at most 255 bytes,
// no "/", no "..", no leading ".", no control character or space, and not
// ending in ".lock" (a mailbox's lock file is its name plus ".lock").
bool IsSafeName(const std::string& name);

// `name` with ASCII letters in lower case: mail addresses and domains are
// matched, and stored, without regard to case.
std::string LowerCase(const std::string& name);

// The domain's user list in the user list folder; `domain` must be a safe
// name.
std::string UserListPath(const std::string& domain);
// The user's mailbox in the spool, in the domain's folder; both must be safe
// names.
std::string MailboxPath(const std::string& domain, const std::string& user);
