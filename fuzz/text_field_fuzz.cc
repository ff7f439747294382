// Properties of the text fields: an answer is refused exactly when it
// would not fit the field or holds a double quote or a control character; a stored field is the
// answer, NUL-terminated; what a dialogue leaves in a field is its old value
// or an answer line that obeys those limits; the BIND menu leaves BIND8 or
// BIND9.

#include <string.h>

#include <algorithm>
#include <sstream>

#include "base/console.h"
#include "config/dns_questions.h"
#include "fuzz/fuzz_check.h"

namespace {

constexpr char kFirstValue[] = "/usr/local/quorvane";

void CheckRefusalAndStore(std::string_view text) {
  bool fits = text.size() <= 79 && text.find('"') == std::string_view::npos &&
              std::none_of(text.begin(), text.end(), IsControl);
  FUZZ_CHECK((TextRefusal(text) == nullptr) == fits);

  TextField field;
  memset(field, 'x', sizeof field);
  bool stored = StoreText(field, text);
  FUZZ_CHECK(stored == (text.size() <= 79));
  if (stored) {
    FUZZ_CHECK(memcmp(field, text.data(), text.size()) == 0 && field[text.size()] == '\0');
  } else {
    for (char c : field) FUZZ_CHECK(c == 'x');
  }
}

bool IsAnswerLine(std::string_view input, std::string_view text) {
  for (size_t start = 0; start < input.size();) {
    size_t end = input.find('\n', start);
    if (end == std::string_view::npos) end = input.size();
    if (input.substr(start, end - start) == text) return true;
    start = end + 1;
  }
  return false;
}

void CheckDialogue(const std::string& input) {
  std::istringstream in(input);
  std::ostringstream out;
  Console console(in, out);
  TextField field;
  strcpy(field, kFirstValue);
  bool answered = AskText(console, kFolderKey, "Installation folder (", field);
  std::string_view value(field, strnlen(field, sizeof field));
  FUZZ_CHECK(value.size() < kTextFieldSize);
  FUZZ_CHECK(TextRefusal(value) == nullptr);
  FUZZ_CHECK(value == kFirstValue || (answered && IsAnswerLine(input, value)));
  if (!answered) FUZZ_CHECK(in.eof());

  std::istringstream menu_in(input);
  std::ostringstream menu_out;
  Console menu_console(menu_in, menu_out);
  TextField dns_type = "";
  if (AskBindVersion(menu_console, dns_type)) {
    FUZZ_CHECK(strcmp(dns_type, "BIND8") == 0 || strcmp(dns_type, "BIND9") == 0);
  } else {
    FUZZ_CHECK(dns_type[0] == '\0' && menu_in.eof());
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string input(AsText(data, size));
  CheckRefusalAndStore(input);
  CheckDialogue(input);
  return 0;
}
