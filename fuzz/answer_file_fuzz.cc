// Properties: an answer file the parser takes holds only known keys, each
// once, with values that have no control character, no blank at either end
// and fit an answer line; written out again one `key = value` line each, it
// reads back the same. A file it refuses is named with the number of a line
// it has.

#include <string>

#include "base/answer_file.h"
#include "base/console.h"
#include "fuzz/fuzz_check.h"

namespace {

bool IsKnown(std::string_view key) {
  for (const AnswerKey& known : kAnswerKeys) {
    if (known.name == key) return true;
  }
  return false;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

void CheckTaken(const AnswerFile& file) {
  std::string written;
  for (const auto& [key, value] : file.answers) {
    FUZZ_CHECK(IsKnown(key));
    FUZZ_CHECK(value.size() <= kMaxAnswerLength);
    for (char c : value) FUZZ_CHECK(!IsControl(c) || c == '\t');
    FUZZ_CHECK(value.empty() || (!IsBlank(value.front()) && !IsBlank(value.back())));
    written += key + " = " + value + "\n";
  }
  AnswerFile again;
  std::string err;
  FUZZ_CHECK(ParseAnswerFile(written, "again", &again, &err));
  FUZZ_CHECK(again.answers == file.answers);
}

void CheckRefused(std::string_view text, const std::string& err) {
  FUZZ_CHECK(err.starts_with("f:"));
  const size_t colon = err.find(':', 2);
  FUZZ_CHECK(colon != std::string::npos && colon > 2);
  const unsigned long line = std::stoul(err.substr(2, colon - 2));
  FUZZ_CHECK(line >= 1 && line <= CountLines(text));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text = AsText(data, size);
  AnswerFile file;
  std::string err;
  if (ParseAnswerFile(text, "f", &file, &err))
    CheckTaken(file);
  else
    CheckRefused(text, err);
  return 0;
}
