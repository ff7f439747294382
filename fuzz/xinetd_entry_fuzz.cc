// Properties of the xinetd entry transformation: the result is whole lines;
// it names the wrapper and its per-source limit when the entry had a server
// line and never otherwise; every line that mentions neither server,
// per_source nor disable comes out byte for byte and in order; every
// disable line says "no"; a second run changes nothing.

#include <algorithm>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "mailfiles/xinetd_entry.h"

namespace {

std::vector<std::string_view> Lines(std::string_view text) {
  std::vector<std::string_view> lines;
  for (size_t start = 0; start < text.size();) {
    size_t end = std::min(text.find('\n', start), text.size());
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

bool Mentions(std::string_view line, std::string_view word) {
  return line.find(word) != std::string_view::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider provider(data, size);
  std::string ins_folder = ConsumeFieldText(provider);
  std::string content = provider.ConsumeRemainingBytesAsString();
  std::string entry = TransformXinetdEntry(content, ins_folder);
  FUZZ_CHECK(entry.empty() || entry.back() == '\n');

  const std::string server_line = "\tserver\t\t\t\t= " + ins_folder + "/bin/vpop3d";
  const std::string args_line = "\tserver_args\t\t\t= /usr/sbin/ipop3d";
  const std::string limit_line = "\tper_source\t\t= 4";
  std::vector<std::string_view> before = Lines(content);
  std::vector<std::string_view> after = Lines(entry);
  bool had_server = false;
  std::vector<std::string_view> plain;  // lines mentioning neither word
  for (std::string_view line : before) {
    had_server = had_server || Mentions(line, "server");
    if (!Mentions(line, "server") && !Mentions(line, "per_source") && !Mentions(line, "disable") &&
        !Mentions(line, "DISABLE"))
      plain.push_back(line);
  }

  bool names_wrapper = false;
  size_t plain_seen = 0;
  for (size_t i = 0; i < after.size(); ++i) {
    std::string_view line = after[i];
    if (line == server_line && i + 2 < after.size() && after[i + 1] == args_line &&
        after[i + 2] == limit_line)
      names_wrapper = true;
    if (plain_seen < plain.size() && line == plain[plain_seen]) ++plain_seen;
    if ((Mentions(line, "disable") || Mentions(line, "DISABLE")) && line != server_line)
      FUZZ_CHECK(line == "\tdisable\t\t= no");
    bool from_input = std::find(before.begin(), before.end(), line) != before.end();
    FUZZ_CHECK(from_input || line == server_line || line == args_line || line == limit_line ||
               line == "\tdisable\t\t= no");
  }
  FUZZ_CHECK(names_wrapper == had_server);
  FUZZ_CHECK(plain_seen == plain.size());
  FUZZ_CHECK(TransformXinetdEntry(entry, ins_folder) == entry);
  return 0;
}
