// Properties of the address rules: an accepted address holds only digits
// and dots, has every part within 0..254 with the first and last not 0, and
// renders as four numbers joined by dots that parse back to the same four
// values; acceptance agrees with a reading of the rules by strtoul; the
// dialogue returns the parts of the last line it read.

#include <stdlib.h>

#include <algorithm>
#include <sstream>

#include "base/console.h"
#include "deploy/address.h"
#include "fuzz/fuzz_check.h"

namespace {

// The value of the digits that start `text` (0 without any), as strtoul
// reads them, or a value above 254 when there are too many.
unsigned long LeadingNumber(const std::string& text) {
  if (text.empty() || text[0] < '0' || text[0] > '9') return 0;
  return strtoul(text.c_str(), nullptr, 10);
}

// The rules read independently: three dot-terminated numbers, then a
// fourth read up to its first non-digit; parts 0..254, first and last not 0.
bool ReferenceAccepts(const std::string& line, unsigned long parts[4]) {
  if (line.empty() || line.find_first_not_of("0123456789.") != std::string::npos) return false;
  size_t start = 0;
  for (int i = 0; i < 3; ++i) {
    size_t dot = line.find('.', start);
    if (dot == std::string::npos || dot == start) return false;
    parts[i] = LeadingNumber(line.substr(start, dot - start));
    start = dot + 1;
  }
  if (start >= line.size()) return false;
  parts[3] = LeadingNumber(line.substr(start));
  for (int i = 0; i < 4; ++i) {
    if (parts[i] > 254) return false;
  }
  return parts[0] != 0 && parts[3] != 0;
}

void CheckRendering(const uint8_t parts[4]) {
  std::string text = FormatAddress(parts);
  unsigned values[4];
  int consumed = 0;
  FUZZ_CHECK(sscanf(text.c_str(), "%3u.%3u.%3u.%3u%n", &values[0], &values[1], &values[2],
                    &values[3], &consumed) == 4);
  FUZZ_CHECK(static_cast<size_t>(consumed) == text.size());
  FUZZ_CHECK(text.find_first_not_of("0123456789.") == std::string::npos);
  // No leading zeros: a part that starts with 0 is 0 itself.
  for (size_t start = 0; start < text.size();) {
    size_t dot = std::min(text.find('.', start), text.size());
    FUZZ_CHECK(dot > start && (text[start] != '0' || dot == start + 1));
    start = dot + 1;
  }
  uint8_t again[4];
  FUZZ_CHECK(ParseAddress(text, again));
  for (int i = 0; i < 4; ++i) FUZZ_CHECK(values[i] == parts[i] && again[i] == parts[i]);
}

void CheckDialogue(const std::string& input) {
  std::istringstream in(input);
  std::ostringstream out;
  Console console(in, out);
  uint8_t parts[4];
  if (!AskAddress(console, parts)) {
    FUZZ_CHECK(in.eof());
    return;
  }
  size_t consumed = in.eof() ? input.size() : static_cast<size_t>(in.tellg());
  std::string read = input.substr(0, consumed);
  if (!read.empty() && read.back() == '\n') read.pop_back();
  std::string last = read.substr(read.rfind('\n') == std::string::npos ? 0 : read.rfind('\n') + 1);
  uint8_t expected[4];
  FUZZ_CHECK(ParseAddress(last, expected));
  for (int i = 0; i < 4; ++i) FUZZ_CHECK(parts[i] == expected[i]);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string line(AsText(data, size));
  uint8_t parts[4] = {};
  unsigned long reference[4];
  bool accepted = ParseAddress(line, parts);
  FUZZ_CHECK(accepted == ReferenceAccepts(line, reference));
  if (accepted) {
    FUZZ_CHECK(parts[0] >= 1 && parts[3] >= 1);
    for (int i = 0; i < 4; ++i) FUZZ_CHECK(parts[i] <= 254 && parts[i] == reference[i]);
    CheckRendering(parts);
  }
  CheckDialogue(line);
  return 0;
}
