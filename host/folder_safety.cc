#include "host/folder_safety.h"

#include <dirent.h>
#include <ftw.h>
#include <limits.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

#include <fstream>
#include <string_view>
#include <vector>

#include "common/layout.h"

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
    kUserListFolder,
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
    kMailSpool,
    "/var/tmp",
};
// Folders whose whole tree belongs to the system.
constexpr const char* kSystemTrees[] = {"/dev", "/proc", "/sys"};
// Trees that hold what root runs or reads as configuration (or writes as
// root, following what it finds): no folder in them is given away.
constexpr const char* kRootsTrees[] = {
    "/bin",
    "/boot",
    "/dev",
    "/etc",
    "/proc",
    "/root",
    "/run",
    "/sbin",
    "/sys",
    "/usr",
    "/var/backups",
    "/var/cache",
    "/var/lib",
    "/var/lock",
    "/var/log",
    "/var/mail",
    "/var/run",
    "/var/spool/cron",
    "/var/spool/mail",
    kMailSpool,
};
// A folder holding more entries than this is not judged entry by entry.
constexpr int kMostEntriesJudged = 100000;

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

// `path` is `folder` or lies inside it (both normalized).
bool IsOrInside(std::string_view path, std::string_view folder) {
  if (folder == "/") return true;
  return path.starts_with(folder) && (path.size() == folder.size() || path[folder.size()] == '/');
}

bool InRootsTree(const std::string& path) {
  for (const char* tree : kRootsTrees) {
    if (IsOrInside(path, tree)) return true;
  }
  // /lib, /lib64, /libx32 and everything in them.
  return path.compare(0, 4, "/lib") == 0;
}

// `path` holds a system folder or a tree of root's.
bool HoldsSystemFolder(const std::string& path) {
  for (const char* folder : kSystemFolders) {
    if (path != folder && IsOrInside(folder, path)) return true;
  }
  for (const char* tree : kRootsTrees) {
    if (path != tree && IsOrInside(tree, path)) return true;
  }
  return false;
}

// A package's file list names one of `paths`, or a path inside one.
bool PackageListsName(const std::vector<std::string>& paths, const std::string& lists_folder) {
  DIR* lists = opendir(lists_folder.c_str());
  if (!lists) return false;  // no package database: nothing is claimed
  bool named = false;
  while (!named) {
    const dirent* entry = readdir(lists);
    if (!entry) break;
    const std::string_view name = entry->d_name;
    if (!name.ends_with(".list")) continue;
    std::ifstream list(lists_folder + "/" + entry->d_name);
    std::string line;
    while (!named && std::getline(list, line)) {
      for (const std::string& path : paths) named = named || IsOrInside(line, path);
    }
  }
  closedir(lists);
  return named;
}

int entries_judged = 0;

int JudgeEntry(const char*, const struct stat* st, int type, struct FTW*) {
  if (++entries_judged > kMostEntriesJudged) return 1;
  const bool program = type == FTW_F && S_ISREG(st->st_mode) &&
                       (st->st_mode & (S_IXUSR | S_IXGRP | S_IXOTH | S_ISUID | S_ISGID)) != 0;
  return program ? 1 : 0;
}

// The folder holds a program (or too much to tell), found without
// following a link. Mounts inside are looked into as well: on an overlay
// root every file seems to lie on another device than its folder.
bool HoldsProgram(const std::string& folder) {
  entries_judged = 0;
  return nftw(folder.c_str(), JudgeEntry, 16, FTW_PHYS) == 1;
}

// An existing folder at `inner` or above it is the existing folder `outer`.
bool IsFolderAbove(const std::string& outer, const std::string& inner) {
  struct stat outer_st, st;
  if (stat(outer.c_str(), &outer_st) != 0) return false;
  for (std::string path = inner;;) {
    if (stat(path.c_str(), &st) == 0 && st.st_dev == outer_st.st_dev &&
        st.st_ino == outer_st.st_ino)
      return true;
    if (path == "/") return false;
    const size_t slash = path.rfind('/');
    path = slash == 0 ? "/" : path.substr(0, slash);
  }
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

bool RootTrustsFolder(const std::string& folder, const std::string& package_lists) {
  if (folder.empty()) return false;  // no folder at all; making it fails on its own
  if (IsSystemFolder(folder)) return true;
  const std::vector<std::string> forms = {Normalized(folder), Resolved(folder)};
  for (const std::string& path : forms) {
    if (InRootsTree(path) || HoldsSystemFolder(path)) return true;
  }
  return PackageListsName(forms, package_lists) || HoldsProgram(forms[1]);
}

bool FoldersOverlap(const std::string& a, const std::string& b) {
  if (a.empty() || b.empty()) return false;
  const std::string a_resolved = Resolved(a), b_resolved = Resolved(b);
  for (const std::string& x : {Normalized(a), a_resolved}) {
    for (const std::string& y : {Normalized(b), b_resolved}) {
      if (IsOrInside(x, y) || IsOrInside(y, x)) return true;
    }
  }
  return IsFolderAbove(a_resolved, b_resolved) || IsFolderAbove(b_resolved, a_resolved);
}
