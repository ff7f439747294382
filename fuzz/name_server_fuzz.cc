// Properties of the name server rule: an answer is refused exactly when it
// holds white space as the POSIX locale classifies it, whatever the locale;
// what the dialogue stores with the rule holds none.

#include <ctype.h>
#include <string.h>

#include <sstream>

#include "base/console.h"
#include "config/dns_questions.h"
#include "fuzz/fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string input(AsText(data, size));
  bool has_space = false;
  for (char c : input) has_space = has_space || isspace(static_cast<unsigned char>(c));
  FUZZ_CHECK((NameServerRefusal(input) != nullptr) == has_space);

  std::istringstream in(input);
  std::ostringstream out;
  Console console(in, out);
  TextField ns1 = "@";
  bool answered = AskText(console, kNs1Key, "Name server (", ns1, NameServerRefusal);
  std::string_view stored(ns1, strnlen(ns1, sizeof ns1));
  FUZZ_CHECK(stored.size() < kTextFieldSize);
  FUZZ_CHECK(NameServerRefusal(stored) == nullptr && TextRefusal(stored) == nullptr);
  if (!answered) FUZZ_CHECK(in.eof() && stored == "@");
  return 0;
}
