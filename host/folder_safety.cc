#include "host/folder_safety.h"

#include <limits.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

#include <string_view>
#include <vector>

namespace {

// The host's own folders: never an installation folder or a root folder.
constexpr const char* kSystemFolders[] = {
    "/",
    "/bin",
    "/boot",
    "/dev",
    "/etc",
    "/etc/init.d",
    "/etc/mail",
    "/etc/rc.d",
    "/etc/rc.d/init.d",
    "/etc/vmail",
    "/etc/xinetd.d",
    "/home",
    "/media",
    "/mnt",
    "/opt",
    "/proc",
    "/root",
    "/run",
    "/sbin",
    "/srv",
    "/sys",
    "/tmp",
    "/usr",
    "/usr/bin",
    "/usr/include",
    "/usr/lib",
    "/usr/libexec",
    "/usr/local",
    "/usr/local/bin",
    "/usr/local/etc",
    "/usr/local/lib",
    "/usr/local/sbin",
    "/usr/local/share",
    "/usr/sbin",
    "/usr/share",
    "/usr/src",
    "/var",
    "/var/cache",
    "/var/lib",
    "/var/local",
    "/var/lock",
    "/var/log",
    "/var/mail",
    "/var/opt",
    "/var/run",
    "/var/spool",
    "/var/spool/mail",
    "/var/spool/vmail",
    "/var/tmp",
};
// Folders whose whole tree belongs to the system.
constexpr const char* kSystemTrees[] = {"/dev", "/proc", "/sys"};

// `path` without doubled slashes, "." and ".." (taken lexically) and a
// trailing slash; "/" for the root itself.
std::string Normalized(std::string_view path) {
  std::vector<std::string_view> parts;
  while (!path.empty()) {
    const size_t slash = path.find('/');
    const std::string_view part = path.substr(0, slash);
    path.remove_prefix(slash == std::string_view::npos ? path.size() : slash + 1);
    if (part.empty() || part == ".") continue;
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
      continue;
    }
    parts.push_back(part);
  }
  std::string normalized;
  for (std::string_view part : parts) normalized.append("/").append(part);
  return normalized.empty() ? "/" : normalized;
}

// The normalized path with every link followed, as far as it exists.
std::string Resolved(const std::string& path) {
  const std::string normalized = Normalized(path);
  char resolved[PATH_MAX];
  if (realpath(normalized.c_str(), resolved)) return resolved;
  const size_t slash = normalized.rfind('/');
  const std::string parent = slash == 0 ? "/" : normalized.substr(0, slash);
  if (normalized != "/" && realpath(parent.c_str(), resolved))
    return Normalized(std::string(resolved) + normalized.substr(slash));
  return normalized;
}

bool IsSystemPath(const std::string& path) {
  for (const char* folder : kSystemFolders) {
    if (path == folder) return true;
  }
  for (const char* tree : kSystemTrees) {
    if (path.compare(0, strlen(tree) + 1, std::string(tree) + "/") == 0) return true;
  }
  // /lib, /lib64, /libx32 and whatever else the host keeps libraries in.
  return path.compare(0, 4, "/lib") == 0 && path.find('/', 1) == std::string::npos;
}

bool RootOnly(const struct stat& st, bool may_be_sticky) {
  if (!S_ISDIR(st.st_mode) || st.st_uid != 0) return false;
  if ((st.st_mode & (S_IWGRP | S_IWOTH)) == 0) return true;
  return may_be_sticky && (st.st_mode & S_ISVTX) != 0;
}

}  // namespace

bool IsSystemFolder(const std::string& path) {
  if (path.empty()) return false;  // no folder at all; making it fails on its own
  return IsSystemPath(Normalized(path)) || IsSystemPath(Resolved(path));
}

bool OnlyRootCanChange(const std::string& folder) {
  const std::string resolved = Resolved(folder);
  struct stat st;
  if (lstat(resolved.c_str(), &st) == 0 && !RootOnly(st, /*may_be_sticky=*/false)) return false;
  for (size_t slash = resolved.rfind('/'); slash != std::string::npos;
       slash = slash == 0 ? std::string::npos : resolved.rfind('/', slash - 1)) {
    const std::string above = slash == 0 ? "/" : resolved.substr(0, slash);
    if (lstat(above.c_str(), &st) != 0 || !RootOnly(st, /*may_be_sticky=*/true)) return false;
  }
  return true;
}
