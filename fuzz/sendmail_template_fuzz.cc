// Properties of the sendmail template: on a template shaped like the
// packaged one (at most one token a line), the filled configuration holds
// neither token, each line is its template line with the token replaced by
// its value, and empty lines are gone; on any text, one line comes out for
// every non-empty line in.

#include <algorithm>

#include "fuzz/fuzz_check.h"
#include "mailfiles/sendmail_template.h"

namespace {

constexpr std::string_view kTokens[] = {"QVINSFOLDER", "QVHOSTNAME"};

// Text that can neither hold a token nor join a neighbour into one.
std::string ConsumeTokenFreeText(FuzzedDataProvider& provider, size_t max_length) {
  std::string text = provider.ConsumeRandomLengthString(max_length);
  std::erase_if(text, [](char c) { return c == '\n' || c == 'Q'; });
  return text;
}

size_t NonEmptyLines(std::string_view text) {
  size_t lines = 0;
  for (size_t start = 0; start < text.size();) {
    size_t end = std::min(text.find('\n', start), text.size());
    if (end > start) ++lines;
    start = end + 1;
  }
  return lines;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider provider(data, size);
  std::string ins_folder = ConsumeTokenFreeText(provider, 79);
  std::string host_name = ConsumeTokenFreeText(provider, 64);
  std::string template_text, expected;
  while (provider.remaining_bytes() > 0) {
    std::string line = ConsumeTokenFreeText(provider, 120);
    size_t token = provider.ConsumeIntegralInRange<size_t>(0, 2);
    size_t at = provider.ConsumeIntegralInRange<size_t>(0, line.size());
    std::string filled = line;
    if (token < 2) {
      line.insert(at, kTokens[token]);
      filled.insert(at, token == 0 ? ins_folder : host_name);
    }
    template_text += line + '\n';
    if (!line.empty()) expected += filled + '\n';
  }
  std::string filled = FillSendmailTemplate(template_text, ins_folder, host_name);
  FUZZ_CHECK(filled == expected);
  for (std::string_view token : kTokens) FUZZ_CHECK(filled.find(token) == std::string::npos);

  std::string_view raw = AsText(data, size);
  std::string any = FillSendmailTemplate(raw, ins_folder, host_name);
  FUZZ_CHECK(CountLines(any) == NonEmptyLines(raw));
  FUZZ_CHECK(any.empty() || any.back() == '\n');
  return 0;
}
