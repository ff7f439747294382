#include "base/answer_file.h"

#include "base/console.h"

namespace {

std::string_view TrimBlanks(std::string_view text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  const size_t last = text.find_last_not_of(" \t");
  return text.substr(first, last - first + 1);
}

bool IsKnownKey(std::string_view key) {
  for (const AnswerKey& known : kAnswerKeys) {
    if (known.name == key) return true;
  }
  return false;
}

// A tab is a blank; every other control character is refused, since no
// answer may hold one.
bool HoldsControlCharacter(std::string_view line) {
  for (char c : line) {
    if (c != '\t' && (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)) return true;
  }
  return false;
}

// Why one line cannot be taken, or "" when it can; a `key = value` line is
// added to `file`.
std::string ParseLine(std::string_view line, AnswerFile* file) {
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  if (HoldsControlCharacter(line)) return "control characters are not allowed";
  line = TrimBlanks(line);
  if (line.empty() || line[0] == '#') return "";
  const size_t equals = line.find('=');
  if (equals == std::string_view::npos) return "not a line of the form key = value";
  const std::string_view key = TrimBlanks(line.substr(0, equals));
  const std::string_view value = TrimBlanks(line.substr(equals + 1));
  if (key.empty()) return "not a line of the form key = value";
  if (!IsKnownKey(key)) return "unknown key " + std::string(key);
  if (value.size() > kMaxAnswerLength) return "the answer for " + std::string(key) + " is too long";
  if (!file->answers.emplace(key, value).second) return std::string(key) + " is given twice";
  return "";
}

}  // namespace

bool ParseAnswerFile(std::string_view text, const std::string& name, AnswerFile* file,
                     std::string* err) {
  file->name = name;
  file->answers.clear();
  size_t line_number = 0;
  for (size_t start = 0; start < text.size();) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    ++line_number;
    const std::string why = ParseLine(text.substr(start, end - start), file);
    if (!why.empty()) {
      *err = name + ":" + std::to_string(line_number) + ": " + why;
      return false;
    }
    start = end + 1;
  }
  return true;
}
