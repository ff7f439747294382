// Properties: the Y/N question reads exactly one line, prints nothing but
// the question, and takes Y or N alone, in either case, as the answer (a
// NUL byte after the letter makes another answer); a
// whole input read answer by answer gives back its lines.

#include <sstream>

#include "base/console.h"
#include "fuzz/fuzz_check.h"

namespace {

constexpr char kQuestion[] = "Continue? (Y/N) ";

YesNo ExpectedAnswer(std::string_view input) {
  if (input.empty()) return YesNo::kEndOfInput;
  std::string_view line = input.substr(0, input.find('\n'));
  if (line == "y" || line == "Y") return YesNo::kYes;
  if (line == "n" || line == "N") return YesNo::kNo;
  return YesNo::kOther;
}

void CheckOneQuestion(std::string_view input) {
  std::istringstream in{std::string(input)};
  std::ostringstream out;
  Console console(in, out);
  FUZZ_CHECK(AskYesNo(console, kMailKey, kQuestion) == ExpectedAnswer(input));
  FUZZ_CHECK(out.str() == kQuestion);
  // The next question starts right after the line this one read.
  size_t line_end = input.find('\n');
  std::string rest(line_end == std::string_view::npos ? "" : input.substr(line_end + 1));
  std::string unread(std::istreambuf_iterator<char>(in), {});
  FUZZ_CHECK(unread == rest);
}

void CheckAllAnswers(std::string_view input) {
  std::istringstream in{std::string(input)};
  std::ostringstream out;
  Console console(in, out);
  std::string joined, answer;
  bool any_too_long = false;
  size_t answers = 0;
  for (ReadStatus status;
       (status = console.ReadAnswer(kMailKey, &answer)) != ReadStatus::kEndOfInput;) {
    FUZZ_CHECK(answer.size() <= kMaxAnswerLength);
    FUZZ_CHECK(answer.find('\n') == std::string::npos);
    if (status == ReadStatus::kTooLong) {
      FUZZ_CHECK(answer.empty());
      any_too_long = true;
    }
    if (answers++ > 0) joined += '\n';
    joined += answer;
  }
  FUZZ_CHECK(answers == CountLines(input));
  if (!any_too_long) {
    std::string_view whole = input;
    if (!whole.empty() && whole.back() == '\n') whole.remove_suffix(1);
    FUZZ_CHECK(joined == whole);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  CheckOneQuestion(AsText(data, size));
  CheckAllAnswers(AsText(data, size));
  return 0;
}
