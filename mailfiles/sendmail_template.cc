#include "mailfiles/sendmail_template.h"

#include "mailfiles/text_lines.h"

namespace {

constexpr std::string_view kInsFolderToken = "QVINSFOLDER";
constexpr std::string_view kHostNameToken = "QVHOSTNAME";

}  // namespace

std::string FillSendmailTemplate(std::string_view content, std::string_view ins_folder,
                                 std::string_view host_name) {
  std::string filled;
  filled.reserve(content.size() + 256);
  for (std::string_view line : SplitLines(content)) {
    if (line.empty()) continue;
    std::string_view token = kInsFolderToken;
    std::string_view value = ins_folder;
    size_t at = line.find(token);
    if (at == std::string_view::npos) {
      token = kHostNameToken;
      value = host_name;
      at = line.find(token);
    }
    if (at == std::string_view::npos) {
      filled.append(line);
    } else {
      filled.append(line.substr(0, at));
      filled.append(value);
      filled.append(line.substr(at + token.size()));
    }
    filled.push_back('\n');
  }
  return filled;
}
