// Rules this file keeps:
// - never descend through a symbolic link, never cross a mount point:
//   whole trees go only through RemoveDir, which the installer uses too;
// - never delete what the package did not put there, except under --purge
//   (RemoveTree), which the administrator confirmed.

#include "payload/qvremove/package_files.h"

#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/layout.h"
#include "common/remove_dir.h"

namespace {

struct PackageLink {
  const char* path;
  const char* name;  // the file in the installation's bin folder it points to
  // The installer leaves a path already there as it is, without a word;
  // so does qvremove.
  bool taken_if_free;
};

const PackageLink kLinks[] = {
    {kQvdnsLink, kQvdnsMember, false},
    {kQvsmlLink, kQvsmlMember, false},
    {kRuntimeLink, kRuntimeMember, true},
    {kQuorvaneCommand, kQuorvaneMember, false},
};

struct PackageFolder {
  const char* folder;  // under InsFolder
  std::vector<const char*> files;
};

const PackageFolder kFolders[] = {
    {kBinSubfolder,
     {kQvdnsMember, kQvsmlMember, kRuntimeMember, kVpop3dMember, kVdeliverMember, kQuorvaneMember,
      kQvremoveMember}},
    {kEtcSubfolder, {kAccessListFile, kVirtualDomainsFile}},
    {kLogSubfolder, {kServiceLogFile, kPidFile, kFailedLoginsFile}},
};

bool Failed(std::vector<std::string>* notes, const std::string& path) {
  notes->push_back("cannot remove " + path + ": " + strerror(errno));
  return false;
}

}  // namespace

bool RemovePackageLinks(const std::string& ins_folder, std::vector<std::string>* notes) {
  bool ok = true;
  for (const PackageLink& link : kLinks) {
    struct stat st;
    if (lstat(link.path, &st) != 0) continue;
    char target[4096];
    ssize_t length = S_ISLNK(st.st_mode) ? readlink(link.path, target, sizeof target) : -1;
    const std::string ours = ins_folder + kBinSubfolder + "/" + link.name;
    if (length < 0 || std::string(target, static_cast<size_t>(length)) != ours) {
      if (link.taken_if_free) continue;
      notes->push_back(std::string("left ") + link.path + ": it does not point to " + ours);
      continue;
    }
    if (unlink(link.path) != 0) ok = Failed(notes, link.path);
  }
  return ok;
}

bool RemoveInstallationFolder(const std::string& ins_folder, std::vector<std::string>* notes) {
  bool ok = true;
  for (const PackageFolder& folder : kFolders) {
    const std::string path = ins_folder + folder.folder;
    int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) continue;
    for (const char* file : folder.files) {
      struct stat st;
      if (fstatat(fd, file, &st, AT_SYMLINK_NOFOLLOW) != 0 || S_ISDIR(st.st_mode)) continue;
      if (unlinkat(fd, file, 0) != 0) ok = Failed(notes, path + "/" + file);
    }
    close(fd);
    ok = RemoveEmptyFolder(path, "it holds files the package did not put there", notes) && ok;
  }
  return RemoveEmptyFolder(ins_folder, "it holds files the package did not put there", notes) && ok;
}

bool RemoveEmptyFolder(const std::string& path, const std::string& why_kept,
                       std::vector<std::string>* notes) {
  struct stat st;
  if (lstat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return true;
  if (rmdir(path.c_str()) == 0) return true;
  if (errno == ENOTEMPTY || errno == EEXIST) {
    notes->push_back("kept " + path + ": " + why_kept);
    return true;
  }
  return Failed(notes, path);
}

bool RemoveTree(const std::string& path, std::string* err) {
  struct stat st;
  if (lstat(path.c_str(), &st) != 0) return errno == ENOENT;
  if (!S_ISDIR(st.st_mode)) {
    *err = path + ": not a folder";
    return false;
  }
  if (RemoveDir(path.c_str()) == 0) return true;
  *err = path + ": something in it stays (a mount point, or what could not be removed)";
  return false;
}
