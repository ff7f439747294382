#pragma once

// Giving up root for good, for the package's programs that serve a network
// client or a message: the daemon for its service user, the mail programs
// for the mail account or for nobody.

#include <sys/types.h>

#include <string>

// The user and group ids of the account `name`. False with `err` when it is
// missing or has root's user or group id (it would give nothing up).
bool LookUpAccount(const std::string& name, uid_t* uid, gid_t* gid, std::string* err);

// Becomes `uid`:`gid` as real, effective and saved ids, with no other
// group, and checks that root cannot be had back. False with `err`.
bool BecomeIds(uid_t uid, gid_t gid, std::string* err);

// LookUpAccount, then BecomeIds.
bool BecomeAccount(const std::string& name, std::string* err);
