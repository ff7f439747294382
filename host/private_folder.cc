// Rules this file keeps: decide on the object, never on the name: the
// folder is opened without following a link and judged and changed through
// that descriptor.

#include "host/private_folder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr mode_t kPrivateMode = 0700;

bool MakeOpenFolderPrivate(int fd) {
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != geteuid()) return false;
  return (st.st_mode & 07777) == kPrivateMode || fchmod(fd, kPrivateMode) == 0;
}

}  // namespace

bool MakePrivateFolder(const char* path) {
  if (mkdir(path, kPrivateMode) != 0) return false;
  return KeepFolderPrivate(path);  // also when the umask took more than the mode
}

bool KeepFolderPrivate(const char* path) {
  int fd = open(path, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return false;
  bool kept = MakeOpenFolderPrivate(fd);
  close(fd);
  return kept;
}
