#include "tests/transcript.h"

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr size_t kContextLines = 3;

// Lines with their line ends kept, so a missing "\n" shows as a difference.
std::vector<std::string_view> SplitKeepingEnds(std::string_view text) {
  std::vector<std::string_view> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    end = end == std::string_view::npos ? text.size() : end + 1;
    lines.push_back(text.substr(start, end - start));
    start = end;
  }
  return lines;
}

std::string Shown(std::string_view line) {
  std::string shown = "\"";
  for (char c : line) {
    switch (c) {
      case '\n':
        shown += "\\n";
        break;
      case '\t':
        shown += "\\t";
        break;
      case '\r':
        shown += "\\r";
        break;
      case '"':
        shown += "\\\"";
        break;
      case '\\':
        shown += "\\\\";
        break;
      default:
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
          char hex[8];
          snprintf(hex, sizeof hex, "\\x%02x", static_cast<unsigned char>(c));
          shown += hex;
        } else {
          shown += c;
        }
    }
  }
  return shown + "\"";
}

}  // namespace

std::string DefaultPrompt(std::string_view question, std::string_view value) {
  std::string prompt = "\n";
  prompt += question;
  prompt += value;
  prompt += ")\nPress Enter for Default: ";
  return prompt;
}

std::string Line(std::string_view text) {
  std::string line(text);
  return line + "\n";
}

::testing::AssertionResult SameTranscript(std::string_view expected, std::string_view actual) {
  if (expected == actual) return ::testing::AssertionSuccess();
  std::vector<std::string_view> want = SplitKeepingEnds(expected);
  std::vector<std::string_view> got = SplitKeepingEnds(actual);
  size_t first = 0;
  while (first < want.size() && first < got.size() && want[first] == got[first]) ++first;
  ::testing::AssertionResult failure = ::testing::AssertionFailure();
  failure << "transcripts differ at line " << first + 1 << " (expected " << want.size()
          << " lines, got " << got.size() << ")\n";
  for (size_t i = first - std::min(first, kContextLines); i < first; ++i) {
    failure << "    same:     " << Shown(want[i]) << "\n";
  }
  failure << "    expected: " << (first < want.size() ? Shown(want[first]) : "<end of text>")
          << "\n";
  failure << "    actual:   " << (first < got.size() ? Shown(got[first]) : "<end of text>") << "\n";
  return failure;
}
