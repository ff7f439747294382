#pragma once

// User and domain names become file names under /etc/vmail and the spool,
// so only names that stay inside those folders are accepted.

#include <string>

// Whether `name` is usable as one file name: not empty, at most 255 bytes,
// no "/", no "..", no leading ".", no control character or space, and not
// ending in ".lock" (a mailbox's lock file is its name plus ".lock").
bool IsSafeName(const std::string& name);

// `name` with ASCII letters in lower case: mail addresses and domains are
// matched, and stored, without regard to case.
std::string LowerCase(const std::string& name);

// The spool and list paths of the mail part.
constexpr char kUserListFolder[] = "/etc/vmail";
constexpr char kSpoolFolder[] = "/var/spool/vmail";
// /etc/vmail/<domain>; `domain` must be a safe name.
std::string UserListPath(const std::string& domain);
// /var/spool/vmail/<domain>/<user>; both must be safe names.
std::string MailboxPath(const std::string& domain, const std::string& user);
