#pragma once

// What a sandboxed run changed: the upper folder of the overlay compared
// with the view below it.

#include <string>
#include <vector>

// What a run changed, as sorted absolute paths.
struct ChangeSet {
  std::vector<std::string> created, changed, deleted;
  bool empty() const;
  // Lines "+ /path", "~ /path", "- /path", sorted by path.
  std::string ToString() const;
};

// Adds to `changes` every path under upper_root that differs from the same
// path under below_root in what a reader sees (type, mode, owner, content,
// link target; not times). Whiteouts and opaque folders count as deletions.
void CollectChanges(const std::string& upper_root, const std::string& below_root,
                    ChangeSet* changes);
