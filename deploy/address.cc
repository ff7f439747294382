#include "deploy/address.h"

#include "base/console.h"

namespace {

constexpr unsigned kHighestPart = 254;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Reads the decimal number at the start of `text`; a value that grows past
// kHighestPart stays just above it, so no digit count can overflow.
unsigned ReadDecimal(std::string_view text) {
  unsigned value = 0;
  for (char c : text) {
    if (!IsDigit(c)) break;
    if (value <= kHighestPart) value = value * 10 + static_cast<unsigned>(c - '0');
  }
  return value;
}

}  // namespace

bool ParseAddress(std::string_view line, uint8_t parts[4]) {
  if (line.empty()) return false;
  for (char c : line) {
    if (!IsDigit(c) && c != '.') return false;
  }
  unsigned values[4];
  std::string_view rest = line;
  for (int i = 0; i < 3; ++i) {
    size_t dot = rest.find('.');
    if (dot == std::string_view::npos || dot == 0) return false;
    values[i] = ReadDecimal(rest.substr(0, dot));
    rest.remove_prefix(dot + 1);
  }
  // Whatever follows the fourth number (more dots and digits) is ignored.
  if (rest.empty()) return false;
  values[3] = ReadDecimal(rest);
  for (unsigned value : values) {
    if (value > kHighestPart) return false;
  }
  if (values[0] == 0 || values[3] == 0) return false;
  for (int i = 0; i < 4; ++i) parts[i] = static_cast<uint8_t>(values[i]);
  return true;
}

std::string FormatAddress(const uint8_t parts[4]) {
  std::string text;
  for (int i = 0; i < 4; ++i) {
    if (i > 0) text += '.';
    text += std::to_string(parts[i]);
  }
  return text;
}

bool AskAddress(Console& console, uint8_t parts[4]) {
  console.LineEnd();
  console.Print("Enter IP address of your windows Quorvane machine: ");
  for (;;) {
    std::string answer;
    ReadStatus status = console.ReadAnswer(kWindowsAddressKey, &answer);
    if (status == ReadStatus::kEndOfInput) {
      ReportEndOfInput(console);
      return false;
    }
    if (status == ReadStatus::kAnswer && ParseAddress(answer, parts)) return true;
    console.LineEnd();
    console.Print("Wrong IP address");
    console.LineEnd();
    console.Print("Enter valid IP address of your windows Quorvane machine: ");
  }
}
