// Rules this file keeps:
// - never descend through a symbolic link: a link is removed as a link;
// - stop at the first entry that cannot be examined or emptied, and say so;
// - use only system calls and stack buffers, so that the interrupt handler
//   can call it while the program is anywhere (no malloc, no stdio).

#include "host/remove_dir.h"

#include <dirent.h>
#include <fcntl.h>
#include <stddef.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

struct LinuxDirent64 {
  ino64_t d_ino;
  off64_t d_off;
  unsigned short d_reclen;
  unsigned char d_type;
  char d_name[];
};

bool IsDotOrDotDot(const char* name) {
  return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

bool EmptyFolder(int folder_fd);

// Removes one entry of an open folder; false when the removal must stop.
bool RemoveEntry(int folder_fd, const char* name) {
  struct stat st;
  if (fstatat(folder_fd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) return false;
  if (!S_ISDIR(st.st_mode)) {
    unlinkat(folder_fd, name, 0);  // a failure shows when the folder cannot go
    return true;
  }
  int child_fd = openat(folder_fd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (child_fd < 0) return false;
  bool emptied = EmptyFolder(child_fd);
  close(child_fd);
  return emptied && unlinkat(folder_fd, name, AT_REMOVEDIR) == 0;
}

// Removes everything inside an open folder, depth first.
bool EmptyFolder(int folder_fd) {
  alignas(LinuxDirent64) char listing[2048];
  for (;;) {
    long got = syscall(SYS_getdents64, folder_fd, listing, sizeof(listing));
    if (got < 0) return false;
    if (got == 0) return true;
    for (long offset = 0; offset < got;) {
      auto* entry = reinterpret_cast<LinuxDirent64*>(listing + offset);
      offset += entry->d_reclen;
      if (IsDotOrDotDot(entry->d_name)) continue;
      if (!RemoveEntry(folder_fd, entry->d_name)) return false;
    }
  }
}

}  // namespace

unsigned char RemoveDir(const char* path) {
  int folder_fd = open(path, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (folder_fd < 0) return 1;
  bool emptied = EmptyFolder(folder_fd);
  close(folder_fd);
  if (!emptied) return 1;
  return rmdir(path) == 0 ? 0 : 1;
}
