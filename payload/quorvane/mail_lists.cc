#include "payload/quorvane/mail_lists.h"

#include "payload/qvsml/safe_name.h"
#include "payload/qvsml/text_file.h"

namespace {

bool IsLabelCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-';
}

}  // namespace

bool IsDomainName(const std::string& name) {
  if (name.empty() || name.size() > 253) return false;
  size_t start = 0;
  while (start <= name.size()) {
    size_t end = name.find('.', start);
    if (end == std::string::npos) end = name.size();
    const std::string label = name.substr(start, end - start);
    if (label.empty() || label.size() > 63 || label.front() == '-' || label.back() == '-')
      return false;
    for (char c : label) {
      if (!IsLabelCharacter(c)) return false;
    }
    start = end + 1;
  }
  return true;
}

std::string DomainOfLine(const std::string& line) {
  const std::string domain = TrimBlanks(line);
  return domain.empty() || domain[0] == '#' ? "" : LowerCase(domain);
}

std::string UserOfLine(const std::string& line) {
  if (line.empty() || line[0] == '#') return "";
  const size_t colon = line.find(':');
  return colon == std::string::npos ? "" : LowerCase(line.substr(0, colon));
}

std::string ReplaceLines(const std::string& text, LineKey key, const std::string& wanted,
                         const std::string& replacement, size_t* count) {
  std::string result;
  *count = 0;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    const size_t next = end == std::string::npos ? text.size() : end + 1;
    const std::string line =
        text.substr(start, (end == std::string::npos ? text.size() : end) - start);
    if (key(line) == wanted) {
      if (*count == 0 && !replacement.empty()) result += replacement + "\n";
      ++*count;
    } else {
      result += text.substr(start, next - start);
    }
    start = next;
  }
  return result;
}

std::string AppendLine(const std::string& text, const std::string& line) {
  if (!text.empty() && text.back() != '\n') return text + "\n" + line + "\n";
  return text + line + "\n";
}
