#include "host/files.h"

#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

bool FailWithErrno(std::string* err, std::string_view what, const std::string& path) {
  const int error = errno;
  if (err) *err = std::string(what) + " " + path + ": " + strerror(error);
  errno = error;
  return false;
}

bool StatRegularFile(int fd, struct stat* st) {
  if (fstat(fd, st) != 0) return false;
  if (S_ISREG(st->st_mode)) return true;
  errno = EINVAL;
  return false;
}

ReadProbe ProbeForReading(const char* path) {
  int fd = open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return ReadProbe::kNoFile;
  struct stat st;
  const bool regular = StatRegularFile(fd, &st);
  close(fd);
  return regular ? ReadProbe::kRegularFile : ReadProbe::kOtherFile;
}

bool CanOpenForReading(const char* path) { return ProbeForReading(path) != ReadProbe::kNoFile; }

bool PathExists(const char* path) {
  struct stat st;
  return lstat(path, &st) == 0;
}

bool IsSymbolicLink(const char* path) {
  struct stat st;
  return lstat(path, &st) == 0 && S_ISLNK(st.st_mode);
}

int OpenRealFolder(const char* path) {
  return open(path, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

bool SetFolderMode(const char* path, mode_t mode, mode_t* old_mode) {
  int fd = OpenRealFolder(path);
  if (fd < 0) return false;
  struct stat st;
  if (fstat(fd, &st) != 0 || fchmod(fd, mode) != 0) {
    KeepingErrno([fd] { close(fd); });
    return false;
  }
  if (old_mode) *old_mode = st.st_mode & 07777;
  close(fd);
  return true;
}

bool SetFolderOwner(const char* path, uid_t uid, gid_t gid, uid_t* old_uid, gid_t* old_gid) {
  int fd = OpenRealFolder(path);
  if (fd < 0) return false;
  struct stat st;
  if (fstat(fd, &st) != 0 || fchown(fd, uid, gid) != 0) {
    KeepingErrno([fd] { close(fd); });
    return false;
  }
  if (old_uid) *old_uid = st.st_uid;
  if (old_gid) *old_gid = st.st_gid;
  close(fd);
  return true;
}
