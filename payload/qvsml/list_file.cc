// Rules this file keeps:
// - never open or write through a link: the folder is opened with
//   O_NOFOLLOW|O_DIRECTORY and every file inside it by *at calls;
// - the list is never missing nor half-written: the new text goes to a new
//   file (O_EXCL) that is flushed before it is renamed over the old one;
// - one editor at a time per folder (flock on the folder).

#include "payload/qvsml/list_file.h"

#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/write_all.h"

namespace {

bool Fail(std::string* err, const std::string& what) {
  *err = what + ": " + strerror(errno);
  return false;
}

bool ReadAll(int fd, std::string* text) {
  char buffer[8192];
  for (;;) {
    ssize_t n = read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) return true;
    text->append(buffer, static_cast<size_t>(n));
  }
}

// ".name.XXXXXX" with random letters: a name no other program uses.
std::string TemporaryName(const std::string& name) {
  static const char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  unsigned char random[6] = {};
  if (getrandom(random, sizeof random, 0) != static_cast<ssize_t>(sizeof random)) {
    for (unsigned char& c : random) c = static_cast<unsigned char>(rand());
  }
  std::string temporary = "." + name + ".";
  for (unsigned char c : random) temporary += kLetters[c % (sizeof kLetters - 1)];
  return temporary;
}

}  // namespace

ListFileEdit::~ListFileEdit() {
  if (folder_fd_ >= 0) close(folder_fd_);  // also releases the lock
}

bool ListFileEdit::Begin(const std::string& folder, const std::string& name, std::string* err) {
  folder_ = folder;
  name_ = name;
  folder_fd_ = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (folder_fd_ < 0) return Fail(err, folder);
  while (flock(folder_fd_, LOCK_EX) != 0) {
    if (errno != EINTR) return Fail(err, "locking " + folder);
  }
  const std::string path = folder + "/" + name;
  int fd = openat(folder_fd_, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT) return true;
    return Fail(err, path);
  }
  struct stat st;
  bool ok = fstat(fd, &st) == 0;
  if (ok && !S_ISREG(st.st_mode)) {
    close(fd);
    *err = path + ": not a regular file";
    return false;
  }
  ok = ok && ReadAll(fd, &text_);
  close(fd);
  if (!ok) return Fail(err, path);
  existed_ = true;
  old_mode_ = st.st_mode & 07777;
  old_uid_ = st.st_uid;
  old_gid_ = st.st_gid;
  return true;
}

bool ListFileEdit::Commit(const std::string& text, mode_t new_mode, std::string* err, uid_t new_uid,
                          gid_t new_gid) {
  const std::string temporary = TemporaryName(name_);
  const std::string shown = folder_ + "/" + temporary;
  int fd = openat(folder_fd_, temporary.c_str(),
                  O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) return Fail(err, shown);
  const mode_t mode = existed_ ? old_mode_ : new_mode;
  const uid_t uid = existed_ ? old_uid_ : new_uid;
  const gid_t gid = existed_ ? old_gid_ : new_gid;
  bool ok = WriteAll(fd, text.data(), text.size()) && fchown(fd, uid, gid) == 0 &&
            fchmod(fd, mode) == 0 && fsync(fd) == 0;
  ok = close(fd) == 0 && ok;
  ok = ok && renameat(folder_fd_, temporary.c_str(), folder_fd_, name_.c_str()) == 0;
  if (!ok) {
    const int error = errno;
    unlinkat(folder_fd_, temporary.c_str(), 0);
    errno = error;
    return Fail(err, folder_ + "/" + name_);
  }
  fsync(folder_fd_);
  text_ = text;
  existed_ = true;
  return true;
}
