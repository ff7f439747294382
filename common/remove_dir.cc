// Rules this file keeps:
// - never descend through a symbolic link: a link is removed as a link;
// - never cross into another file system: a folder on another device or
//   mount than its parent is a mount point, and what is mounted there stays
//   (so does every folder above it);
// - stop at the first entry that cannot be examined or emptied, and say so;
// - use only system calls and stack buffers, so that the interrupt handler
//   can call it while the program is anywhere (no malloc, no stdio).

#include "common/remove_dir.h"

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

// Type, device and mount of `name` in the open folder, not following a link.
bool Examine(int folder_fd, const char* name, int flags, struct statx* st) {
  return statx(folder_fd, name, flags | AT_SYMLINK_NOFOLLOW, STATX_TYPE | STATX_MNT_ID, st) == 0;
}

// A bind mount keeps the device of what it shows; its mount id differs.
bool SameFileSystem(const struct statx& a, const struct statx& b) {
  if (a.stx_dev_major != b.stx_dev_major || a.stx_dev_minor != b.stx_dev_minor) return false;
  const bool have_mounts = (a.stx_mask & b.stx_mask & STATX_MNT_ID) != 0;
  return !have_mounts || a.stx_mnt_id == b.stx_mnt_id;
}

bool EmptyFolder(int folder_fd, const struct statx& folder);

// Removes one entry of an open folder; false when the removal must stop.
bool RemoveEntry(int folder_fd, const struct statx& folder, const char* name) {
  struct statx st;
  if (!Examine(folder_fd, name, 0, &st)) return false;
  if (!S_ISDIR(st.stx_mode)) {
    unlinkat(folder_fd, name, 0);  // a failure shows when the folder cannot go
    return true;
  }
  if (!SameFileSystem(folder, st)) return false;
  int child_fd = openat(folder_fd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (child_fd < 0) return false;
  // Examined again through the descriptor: a mount made since stays too.
  struct statx opened;
  bool emptied = Examine(child_fd, "", AT_EMPTY_PATH, &opened) && SameFileSystem(folder, opened) &&
                 EmptyFolder(child_fd, opened);
  close(child_fd);
  return emptied && unlinkat(folder_fd, name, AT_REMOVEDIR) == 0;
}

// Removes everything inside an open folder, depth first.
bool EmptyFolder(int folder_fd, const struct statx& folder) {
  alignas(LinuxDirent64) char listing[2048];
  for (;;) {
    long got = syscall(SYS_getdents64, folder_fd, listing, sizeof(listing));
    if (got < 0) return false;
    if (got == 0) return true;
    for (long offset = 0; offset < got;) {
      auto* entry = reinterpret_cast<LinuxDirent64*>(listing + offset);
      offset += entry->d_reclen;
      if (IsDotOrDotDot(entry->d_name)) continue;
      if (!RemoveEntry(folder_fd, folder, entry->d_name)) return false;
    }
  }
}

}  // namespace

unsigned char RemoveDir(const char* path) {
  int folder_fd = open(path, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (folder_fd < 0) return 1;
  // A folder that is itself a mount point is not emptied either.
  struct statx folder, parent;
  bool emptied = Examine(folder_fd, "", AT_EMPTY_PATH, &folder) &&
                 Examine(folder_fd, "..", 0, &parent) && SameFileSystem(parent, folder) &&
                 EmptyFolder(folder_fd, folder);
  close(folder_fd);
  if (!emptied) return 1;
  return rmdir(path) == 0 ? 0 : 1;
}
