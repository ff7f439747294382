#include "payload/qvsml/give_up_root.h"

#include <errno.h>
#include <grp.h>
#include <pwd.h>
#include <string.h>
#include <unistd.h>

bool LookUpAccount(const std::string& name, uid_t* uid, gid_t* gid, std::string* err) {
  errno = 0;
  const struct passwd* account = getpwnam(name.c_str());
  if (!account) {
    *err = "no account " + name + (errno ? std::string(": ") + strerror(errno) : "");
    return false;
  }
  if (account->pw_uid == 0 || account->pw_gid == 0) {
    *err = "the account " + name + " has root's user or group id";
    return false;
  }
  *uid = account->pw_uid;
  *gid = account->pw_gid;
  return true;
}

bool BecomeIds(uid_t uid, gid_t gid, std::string* err) {
  // Groups first, while root may still change them.
  if (setgroups(1, &gid) != 0 || setresgid(gid, gid, gid) != 0 || setresuid(uid, uid, uid) != 0) {
    *err = std::string("cannot give up root: ") + strerror(errno);
    return false;
  }
  uid_t real, effective, saved;
  if (getresuid(&real, &effective, &saved) != 0 || real != uid || effective != uid ||
      saved != uid || setuid(0) == 0 || setgid(0) == 0) {
    *err = "root could be had back after giving it up";
    return false;
  }
  return true;
}

bool BecomeAccount(const std::string& name, std::string* err) {
  uid_t uid;
  gid_t gid;
  return LookUpAccount(name, &uid, &gid, err) && BecomeIds(uid, gid, err);
}
