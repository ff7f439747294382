#include "preview/unified_diff.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace {

constexpr size_t kContext = 3;
// Past this many cells the comparison table would grow too large; the
// differing middle is then shown as removed and added as a whole.
constexpr size_t kMaxTableCells = size_t{16} << 20;
constexpr char kNoNewline[] = "\\ No newline at end of file\n";

struct Line {
  std::string text;  // without its line end
  bool ends_line = true;
  bool operator==(const Line& other) const {
    return text == other.text && ends_line == other.ends_line;
  }
};

std::vector<Line> SplitLines(const std::string& content) {
  std::vector<Line> lines;
  size_t start = 0;
  while (start < content.size()) {
    size_t end = content.find('\n', start);
    if (end == std::string::npos) {
      lines.push_back({content.substr(start), false});
      break;
    }
    lines.push_back({content.substr(start, end - start), true});
    start = end + 1;
  }
  return lines;
}

// One line of the edit script: ' ' kept, '-' removed, '+' added.
struct Edit {
  char mark;
  const Line* line;
};

// The edit script of a[a_begin, a_end) against b[b_begin, b_end) by a table
// of longest common subsequences.
void DiffMiddle(const std::vector<Line>& a, size_t a_begin, size_t a_end,
                const std::vector<Line>& b, size_t b_begin, size_t b_end,
                std::vector<Edit>* edits) {
  size_t n = a_end - a_begin, m = b_end - b_begin;
  if (n * m > kMaxTableCells) {
    for (size_t i = a_begin; i < a_end; ++i) edits->push_back({'-', &a[i]});
    for (size_t j = b_begin; j < b_end; ++j) edits->push_back({'+', &b[j]});
    return;
  }
  // common[i][j]: longest common subsequence of a's lines from i and b's from j.
  std::vector<uint32_t> common((n + 1) * (m + 1), 0);
  auto at = [&](size_t i, size_t j) -> uint32_t& { return common[i * (m + 1) + j]; };
  for (size_t i = n; i-- > 0;) {
    for (size_t j = m; j-- > 0;) {
      at(i, j) = a[a_begin + i] == b[b_begin + j] ? at(i + 1, j + 1) + 1
                                                  : std::max(at(i + 1, j), at(i, j + 1));
    }
  }
  size_t i = 0, j = 0;
  while (i < n || j < m) {
    if (i < n && j < m && a[a_begin + i] == b[b_begin + j]) {
      edits->push_back({' ', &a[a_begin + i]});
      ++i, ++j;
    } else if (i < n && (j == m || at(i + 1, j) >= at(i, j + 1))) {
      edits->push_back({'-', &a[a_begin + i++]});
    } else {
      edits->push_back({'+', &b[b_begin + j++]});
    }
  }
}

std::vector<Edit> EditScript(const std::vector<Line>& a, const std::vector<Line>& b) {
  size_t prefix = 0;
  while (prefix < a.size() && prefix < b.size() && a[prefix] == b[prefix]) ++prefix;
  size_t suffix = 0;
  while (suffix < a.size() - prefix && suffix < b.size() - prefix &&
         a[a.size() - 1 - suffix] == b[b.size() - 1 - suffix]) {
    ++suffix;
  }
  std::vector<Edit> edits;
  for (size_t i = 0; i < prefix; ++i) edits.push_back({' ', &a[i]});
  DiffMiddle(a, prefix, a.size() - suffix, b, prefix, b.size() - suffix, &edits);
  for (size_t i = a.size() - suffix; i < a.size(); ++i) edits.push_back({' ', &a[i]});
  return edits;
}

// "start,count" of a hunk side; an empty side names the line before it.
std::string Range(size_t first_line, size_t count) {
  size_t start = count == 0 ? first_line - 1 : first_line;
  return count == 1 ? std::to_string(start) : std::to_string(start) + "," + std::to_string(count);
}

std::string Hunk(const std::vector<Edit>& edits, size_t begin, size_t end) {
  size_t a_line = 1, b_line = 1;
  for (size_t e = 0; e < begin; ++e) {
    if (edits[e].mark != '+') ++a_line;
    if (edits[e].mark != '-') ++b_line;
  }
  size_t a_count = 0, b_count = 0;
  std::string body;
  for (size_t e = begin; e < end; ++e) {
    if (edits[e].mark != '+') ++a_count;
    if (edits[e].mark != '-') ++b_count;
    body += edits[e].mark + edits[e].line->text + "\n";
    if (!edits[e].line->ends_line) body += kNoNewline;
  }
  return "@@ -" + Range(a_line, a_count) + " +" + Range(b_line, b_count) + " @@\n" + body;
}

}  // namespace

bool LooksLikeText(const std::string& content) { return content.find('\0') == std::string::npos; }

std::string UnifiedDiff(const std::string& before, const std::string& after,
                        const std::string& before_label, const std::string& after_label) {
  if (before == after) return "";
  std::vector<Line> a = SplitLines(before), b = SplitLines(after);
  std::vector<Edit> edits = EditScript(a, b);
  std::string diff = "--- " + before_label + "\n+++ " + after_label + "\n";
  size_t e = 0;
  while (e < edits.size()) {
    while (e < edits.size() && edits[e].mark == ' ') ++e;
    if (e == edits.size()) break;
    size_t begin = e >= kContext ? e - kContext : 0;
    // A hunk runs on while the next change is close enough to share context.
    size_t last_change = e;
    for (size_t next = e + 1; next < edits.size(); ++next) {
      if (edits[next].mark == ' ') continue;
      if (next - last_change - 1 > 2 * kContext) break;
      last_change = next;
    }
    size_t end = std::min(edits.size(), last_change + 1 + kContext);
    diff += Hunk(edits, begin, end);
    e = end;
  }
  return diff;
}
