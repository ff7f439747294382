#include "preview/preview_report.h"

#include <sys/stat.h>

#include <optional>

#include "preview/unified_diff.h"

namespace {

// The diff of one changed path, or "" when it is no text file on both sides.
std::string EditedFileDiff(const Sandbox& sandbox, const std::string& path) {
  std::optional<struct stat> after_stat = sandbox.StatAfter(path);
  if (!after_stat || !S_ISREG(after_stat->st_mode)) return "";
  std::optional<std::string> before = sandbox.ReadBefore(path);
  std::optional<std::string> after = sandbox.ReadAfter(path);
  if (!before || !after || !LooksLikeText(*before) || !LooksLikeText(*after)) return "";
  return UnifiedDiff(*before, *after, path + "\t(now)", path + "\t(after the installation)");
}

}  // namespace

std::string PreviewReport(const Sandbox& sandbox, const ChangeSet& changes) {
  if (changes.empty()) return "=== The installation would change nothing ===\n";
  std::string report = "=== What the installation would change ===\n" + changes.ToString();
  std::string diffs;
  for (const std::string& path : changes.changed) diffs += EditedFileDiff(sandbox, path);
  if (!diffs.empty()) report += "=== How the edited files would read ===\n" + diffs;
  return report;
}
