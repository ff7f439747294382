#include "sandbox/change_set.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <optional>
#include <utility>

#include "sandbox/layer_files.h"

namespace {

bool SameContent(const std::string& a, const std::string& b) {
  std::optional<std::string> left = ReadWholeFile(a);
  std::optional<std::string> right = ReadWholeFile(b);
  return left && right && *left == *right;
}

// Whether an upper entry differs from the one below it in what a reader
// sees: type, mode, owner, content or link target (not times).
bool Differs(const std::string& upper, const struct stat& u, const std::string& below,
             const struct stat& b) {
  if (u.st_mode != b.st_mode || u.st_uid != b.st_uid || u.st_gid != b.st_gid) return true;
  if (S_ISREG(u.st_mode)) return u.st_size != b.st_size || !SameContent(upper, below);
  if (S_ISLNK(u.st_mode)) return ReadLink(upper) != ReadLink(below);
  if (S_ISCHR(u.st_mode) || S_ISBLK(u.st_mode)) return u.st_rdev != b.st_rdev;
  return false;
}

// Compares the upper folder with the view below it (seeds, layers, host).
void WalkChanges(const std::string& upper_root, const std::string& below_root,
                 const std::string& rel, ChangeSet* changes) {
  std::vector<std::string> names = DirNames(upper_root + rel);
  for (const std::string& name : names) {
    std::string path = rel + "/" + name;
    std::string upper = upper_root + path;
    std::string below = below_root + path;
    struct stat u, b;
    if (lstat(upper.c_str(), &u) != 0) continue;
    bool below_exists = lstat(below.c_str(), &b) == 0;
    if (IsWhiteout(u)) {
      if (below_exists) changes->deleted.push_back(path);
      continue;
    }
    if (!below_exists) {
      changes->created.push_back(path);
    } else if (Differs(upper, u, below, b)) {
      changes->changed.push_back(path);
    }
    if (!S_ISDIR(u.st_mode)) continue;
    if (below_exists && S_ISDIR(b.st_mode) && IsOpaque(upper)) {
      std::vector<std::string> kept = DirNames(upper);
      for (const std::string& child : DirNames(below)) {
        if (!std::binary_search(kept.begin(), kept.end(), child)) {
          changes->deleted.push_back(path + "/" + child);
        }
      }
    }
    WalkChanges(upper_root, below_root, path, changes);
  }
}

}  // namespace

bool ChangeSet::empty() const { return created.empty() && changed.empty() && deleted.empty(); }

std::string ChangeSet::ToString() const {
  std::vector<std::pair<std::string, char>> lines;
  for (const std::string& path : created) lines.emplace_back(path, '+');
  for (const std::string& path : changed) lines.emplace_back(path, '~');
  for (const std::string& path : deleted) lines.emplace_back(path, '-');
  std::sort(lines.begin(), lines.end());
  std::string text;
  for (const auto& [path, mark] : lines) text += std::string(1, mark) + " " + path + "\n";
  return text;
}

void CollectChanges(const std::string& upper_root, const std::string& below_root,
                    ChangeSet* changes) {
  WalkChanges(upper_root, below_root, "", changes);
}
