#include "mailfiles/sendmail_options.h"

#include <pwd.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

#include "mailfiles/text_lines.h"

namespace {

using Lines = std::vector<std::string>;

Lines LinesOf(std::string_view text) {
  Lines lines;
  for (std::string_view line : SplitLines(text)) lines.emplace_back(line);
  return lines;
}

std::string TextOf(const Lines& lines) {
  std::string text;
  for (const std::string& line : lines) text.append(line).push_back('\n');
  return text;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// The name of the long option an "O Name=value" line sets, or "".
std::string OptionName(std::string_view line) {
  if (line.size() < 2 || line[0] != 'O' || !IsBlank(line[1])) return "";
  size_t at = 1;
  while (at < line.size() && IsBlank(line[at])) ++at;
  const size_t start = at;
  while (at < line.size() && line[at] != '=' && !IsBlank(line[at])) ++at;
  return std::string(line.substr(start, at - start));
}

bool SameName(const std::string& a, const char* b) { return strcasecmp(a.c_str(), b) == 0; }

// The lines of `lines` that set option `name`, by index.
std::vector<size_t> OptionLines(const Lines& lines, const char* name) {
  std::vector<size_t> found;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (SameName(OptionName(lines[i]), name)) found.push_back(i);
  }
  return found;
}

// The value the last line setting `name` gives, or "".
std::string OptionValue(const Lines& lines, const char* name) {
  const std::vector<size_t> found = OptionLines(lines, name);
  if (found.empty()) return "";
  const std::string& line = lines[found.back()];
  const size_t equals = line.find('=');
  return equals == std::string::npos ? "" : line.substr(equals + 1);
}

// After the template's last option line: where options it lacks go.
size_t AfterLastOption(const Lines& lines) {
  size_t after = lines.size();
  for (size_t i = 0; i < lines.size(); ++i) {
    if (!OptionName(lines[i]).empty()) after = i + 1;
  }
  return after;
}

// Puts the replaced file's lines for `name` where the template sets it.
void CarryOption(Lines& filled, const Lines& replaced, const char* name) {
  const std::vector<size_t> host = OptionLines(replaced, name);
  if (host.empty()) return;
  std::vector<size_t> own = OptionLines(filled, name);
  size_t at = own.empty() ? AfterLastOption(filled) : own.front();
  for (auto it = own.rbegin(); it != own.rend(); ++it) filled.erase(filled.begin() + *it);
  for (size_t index : host) filled.insert(filled.begin() + at++, replaced[index]);
}

// The lines [begin, end) of the mailer `name`: its M line and the lines
// that continue it (they start with a blank).
std::pair<size_t, size_t> MailerLines(const Lines& lines, std::string_view name) {
  std::string head = "M";
  head.append(name).push_back(',');
  for (size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].rfind(head, 0) != 0) continue;
    size_t end = i + 1;
    while (end < lines.size() && !lines[end].empty() && IsBlank(lines[end][0])) ++end;
    return {i, end};
  }
  return {lines.size(), lines.size()};
}

// Where field `key` ("P", "S", ...) of a mailer definition starts its value
// in `text`, or npos: after "key=" at the start or after a comma or blank.
size_t FieldValueAt(std::string_view text, std::string_view key) {
  const std::string wanted = std::string(key) + "=";
  for (size_t at = text.find(wanted); at != std::string_view::npos;
       at = text.find(wanted, at + 1)) {
    if (at == 0 || text[at - 1] == ',' || IsBlank(text[at - 1])) return at + wanted.size();
  }
  return std::string_view::npos;
}

// The value of field `key` of a mailer definition, up to its comma.
std::string FieldValue(std::string_view definition, std::string_view key) {
  const size_t at = FieldValueAt(definition, key);
  if (at == std::string_view::npos) return "";
  const size_t end = definition.find_first_of(",\n", at);
  return std::string(definition.substr(at, end - at));
}

// `definition` with the value of field `key` replaced by `value`.
std::string WithField(std::string definition, std::string_view key, const std::string& value) {
  const size_t at = FieldValueAt(definition, key);
  if (at == std::string::npos || value.empty()) return definition;
  const size_t end = definition.find_first_of(",\n", at);
  return definition.replace(at, end - at, value);
}

// The replaced file's local mailer, run through the template's rulesets.
void CarryLocalMailer(Lines& filled, const Lines& replaced) {
  const auto [begin, end] = MailerLines(filled, "local");
  const auto [host_begin, host_end] = MailerLines(replaced, "local");
  if (begin == end || host_begin == host_end) return;
  const std::string own = TextOf(
      Lines(filled.begin() + static_cast<long>(begin), filled.begin() + static_cast<long>(end)));
  std::string host = TextOf(Lines(replaced.begin() + static_cast<long>(host_begin),
                                  replaced.begin() + static_cast<long>(host_end)));
  host = WithField(WithField(host, "S", FieldValue(own, "S")), "R", FieldValue(own, "R"));
  filled.erase(filled.begin() + static_cast<long>(begin), filled.begin() + static_cast<long>(end));
  const Lines host_lines = LinesOf(host);
  filled.insert(filled.begin() + static_cast<long>(begin), host_lines.begin(), host_lines.end());
}

bool IsProgram(const std::string& path) {
  struct stat st;
  return !path.empty() && stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
         access(path.c_str(), X_OK) == 0;
}

}  // namespace

std::string LocalMailerProgram(std::string_view cf) {
  const Lines lines = LinesOf(cf);
  const auto [begin, end] = MailerLines(lines, "local");
  if (begin == end) return "";
  return FieldValue(TextOf(Lines(lines.begin() + static_cast<long>(begin),
                                 lines.begin() + static_cast<long>(end))),
                    "P");
}

SendmailHostFacts LearnSendmailHostFacts(std::string_view filled, std::string_view replaced,
                                         const std::string& root) {
  SendmailHostFacts facts;
  std::string queue = OptionValue(LinesOf(replaced), "QueueDirectory");
  if (queue.empty()) queue = OptionValue(LinesOf(filled), "QueueDirectory");
  struct stat st;
  if (!queue.empty() && stat((root + queue).c_str(), &st) == 0 && S_ISDIR(st.st_mode) &&
      st.st_uid != 0) {
    if (const passwd* owner = getpwuid(st.st_uid)) facts.queue_owner = owner->pw_name;
  }
  facts.template_local_mailer_installed = IsProgram(root + LocalMailerProgram(filled));
  const std::string host_mailer = LocalMailerProgram(replaced);
  facts.host_local_mailer_installed = !host_mailer.empty() && IsProgram(root + host_mailer);
  return facts;
}

std::string KeepHostOptions(std::string_view filled, std::string_view replaced,
                            const SendmailHostFacts& facts) {
  Lines lines = LinesOf(filled);
  const Lines host = LinesOf(replaced);
  for (const char* name : kHostOptionNames) CarryOption(lines, host, name);
  if (!facts.queue_owner.empty() && OptionLines(lines, "TrustedUser").empty() &&
      OptionLines(lines, "RunAsUser").empty()) {
    lines.insert(lines.begin() + static_cast<long>(AfterLastOption(lines)),
                 "O TrustedUser=" + facts.queue_owner);
  }
  if (!facts.template_local_mailer_installed && facts.host_local_mailer_installed)
    CarryLocalMailer(lines, host);
  return TextOf(lines);
}
