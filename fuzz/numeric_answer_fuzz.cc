// Property: a numeric answer is accepted exactly when strtoul would read all
// of it, and then holds what strtoul gives with a 32-bit unsigned long:
// ULONG_MAX past the range, a negative number taken modulo 2^32.

#include <errno.h>

#include <cstdint>

#include "base/console.h"
#include "fuzz/fuzz_check.h"

namespace {

// What a 32-bit strtoul makes of `answer`, or false when it leaves part of
// it unread or reads no digit.
bool ReferenceConversion(const std::string& answer, uint32_t* value) {
  const char* start = answer.c_str();
  char* end = nullptr;
  errno = 0;
  unsigned long long wide = strtoull(start, &end, 10);
  if (end == start || end != start + answer.size()) return false;
  size_t sign_at = answer.find_first_not_of(" \t\n\v\f\r");
  bool negative = answer[sign_at] == '-';
  unsigned long long magnitude = negative ? 0ull - wide : wide;
  if (errno == ERANGE || magnitude > UINT32_MAX) {
    *value = UINT32_MAX;
  } else {
    *value = negative ? static_cast<uint32_t>(0u - static_cast<uint32_t>(magnitude))
                      : static_cast<uint32_t>(magnitude);
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string answer(AsText(data, size));
  uint32_t value = 0;
  bool accepted = ParseNumericAnswer(answer, &value);
  uint32_t expected = 0;
  bool reference_accepted = ReferenceConversion(answer, &expected);
  FUZZ_CHECK(accepted == reference_accepted);
  if (accepted) {
    FUZZ_CHECK(value == expected);
    // What the installer prints as the default reads back the same.
    uint32_t again = 0;
    FUZZ_CHECK(ParseNumericAnswer(std::to_string(value), &again) && again == value);
  }
  return 0;
}
