#include "payload/qvsml/mailbox_file.h"

#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/layout.h"
#include "payload/qvsml/safe_name.h"

namespace {

constexpr mode_t kDomainFolderMode = 0700;
constexpr mode_t kMailboxMode = 0600;

int Fail(const std::string& what, std::string* err) {
  const int error = errno;
  *err = what + ": " + strerror(error);
  errno = error;
  return -1;
}

}  // namespace

int OpenDomainSpool(const std::string& domain, bool create, std::string* err) {
  const int flags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
  int spool = open(kMailSpool, flags);
  if (spool < 0) return Fail(kMailSpool, err);
  if (create && mkdirat(spool, domain.c_str(), kDomainFolderMode) != 0 && errno != EEXIST) {
    const int result = Fail(std::string(kMailSpool) + "/" + domain, err);
    close(spool);
    return result;
  }
  int folder = openat(spool, domain.c_str(), flags);
  const int error = errno;
  close(spool);
  errno = error;
  if (folder < 0) return Fail(std::string(kMailSpool) + "/" + domain, err);
  return folder;
}

int OpenMailboxAt(int domain_fd, const std::string& user, std::string* err) {
  int fd = openat(domain_fd, user.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK,
                  kMailboxMode);
  struct stat st;
  if (fd < 0) {
    // What cannot even be opened (a folder, someone else's FIFO) is still
    // judged by what it is: only a plain file is ever a mailbox.
    const int error = errno;
    if (fstatat(domain_fd, user.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && !S_ISREG(st.st_mode)) {
      errno = EPERM;
      *err = "mailbox " + user + ": not a plain file";
      return -1;
    }
    errno = error;
    return Fail("mailbox " + user, err);
  }
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_nlink != 1) {
    close(fd);
    errno = EPERM;
    *err = "mailbox " + user + ": not a plain file";
    return -1;
  }
  // Reads and writes block as usual; O_NONBLOCK only kept a FIFO from hanging the open.
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  return fd;
}
