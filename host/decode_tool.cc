// Rules this file keeps: the tool is judged on the file opened once, and
// what runs is checked to be that file's content, so a tool swapped after
// the check (in a folder others can write) never runs.

#include "host/decode_tool.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr char kNotRegular[] = "The decode tool is not a regular file.";
constexpr char kWritableByOthers[] = "The decode tool can be changed by other users.";
constexpr char kOtherOwner[] = "The decode tool belongs to another user.";

// The owner of the installer's own file; root when it cannot be told.
uid_t InstallerOwner() {
  struct stat st;
  return stat("/proc/self/exe", &st) == 0 ? st.st_uid : 0;
}

const char* Judge(const struct stat& st) {
  if (!S_ISREG(st.st_mode)) return kNotRegular;
  if ((st.st_mode & (S_IWGRP | S_IWOTH)) != 0) return kWritableByOthers;
  if (st.st_uid != 0 && st.st_uid != InstallerOwner()) return kOtherOwner;
  return nullptr;
}

bool ReadFully(int fd, off_t offset, char* buffer, size_t size) {
  while (size > 0) {
    ssize_t n = pread(fd, buffer, size, offset);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    buffer += n;
    size -= static_cast<size_t>(n);
    offset += n;
  }
  return true;
}

bool SameContent(int a, int b, off_t size) {
  char from_a[16384], from_b[16384];
  for (off_t offset = 0; offset < size;) {
    size_t chunk = static_cast<size_t>(
        size - offset < static_cast<off_t>(sizeof(from_a)) ? size - offset : sizeof(from_a));
    if (!ReadFully(a, offset, from_a, chunk) || !ReadFully(b, offset, from_b, chunk) ||
        memcmp(from_a, from_b, chunk) != 0)
      return false;
    offset += static_cast<off_t>(chunk);
  }
  return true;
}

}  // namespace

std::string InstallerFolder() {
  char exe[PATH_MAX];
  const ssize_t size = readlink("/proc/self/exe", exe, sizeof exe);
  if (size <= 0 || static_cast<size_t>(size) >= sizeof exe) return ".";
  const std::string path(exe, static_cast<size_t>(size));
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

DecodeTool::DecodeTool(const std::string& folder)
    : path_(folder == "/" ? "/decode" : folder + "/decode") {
  // Non-blocking, so that a FIFO planted there cannot hang the open.
  fd_ = open(path_.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd_ < 0) {
    if (errno == ELOOP) {
      refusal_ = kNotRegular;  // a symbolic link
    } else if (errno == ENOENT) {
      refusal_ = "The decode tool is missing from " + folder + ".";
    } else {
      refusal_ = "Can't open the decode tool in " + folder + ": " + strerror(errno);
    }
    return;
  }
  struct stat st;
  const char* judged = fstat(fd_, &st) == 0 ? Judge(st) : kNotRegular;
  if (judged) refusal_ = judged;
}

DecodeTool::~DecodeTool() {
  if (fd_ >= 0) close(fd_);
}

bool DecodeTool::IsCopiedTo(const char* copy) const {
  if (fd_ < 0) return false;
  int copy_fd = open(copy, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (copy_fd < 0) return false;
  struct stat tool, copied;
  bool same = fstat(fd_, &tool) == 0 && fstat(copy_fd, &copied) == 0 && S_ISREG(copied.st_mode) &&
              tool.st_size == copied.st_size && SameContent(fd_, copy_fd, tool.st_size);
  close(copy_fd);
  return same;
}
