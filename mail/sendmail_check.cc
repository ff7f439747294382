#include "mail/sendmail_check.h"

#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

#include "common/service_manager.h"
#include "common/write_all.h"
#include "host/command.h"
#include "host/files.h"
#include "host/replace_file.h"
#include "mailfiles/text_lines.h"

namespace {

constexpr std::string_view kVirtualRoute = "mailer virtual, host qvinstall.invalid, user qvinstall";
constexpr std::string_view kLocalRoute = "mailer local, user root";
// sendmail names the file and line of a configuration line it refuses.
constexpr std::string_view kLineError = ": line ";
// Enough for every answer and warning sendmail gives to two questions.
constexpr size_t kAnswerLimit = 64 * 1024;

bool HasLine(std::string_view text, std::string_view wanted) {
  for (std::string_view line : SplitLines(text)) {
    if (line == wanted) return true;
  }
  return false;
}

// `text` with every `from` replaced by `to`.
std::string ReplaceAll(std::string text, const std::string& from, const std::string& to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
  return text;
}

}  // namespace

std::string CopyForTheTest(std::string_view cf, std::string_view domain_list) {
  const std::string list_line = "FA" + std::string(domain_list);
  std::string copy;
  for (std::string_view line : SplitLines(cf)) {
    copy.append(line == list_line ? std::string_view("CA qvinstall.invalid") : line);
    copy.push_back('\n');
  }
  return copy;
}

std::string RoutingFailure(std::string_view answers) {
  for (std::string_view line : SplitLines(answers)) {
    if (line.find(kLineError) != std::string_view::npos) return std::string(line);
  }
  if (!HasLine(answers, kVirtualRoute)) return "mail for a virtual domain does not go to vdeliver";
  if (!HasLine(answers, kLocalRoute))
    return "mail for a local user does not go to the local mailer";
  return "";
}

bool SendmailRoutes(const std::string& cf_path, std::string_view cf, std::string_view domain_list,
                    std::string* err) {
  if (FirstExecutable({kSendmailProgram}).empty()) return true;
  int fd = -1;
  std::string copy_path;
  if (!CreateUnderFreshName(
          cf_path + ".qvtest.",
          [&fd](const std::string& path) {
            fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
            return fd >= 0;
          },
          &copy_path))
    return FailWithErrno(err, "can't create a copy of", cf_path);
  const bool written = WriteAll(fd, CopyForTheTest(cf, domain_list));
  KeepingErrno([fd] { close(fd); });
  if (!written) {
    FailWithErrno(err, "can't write a copy of", cf_path);
    KeepingErrno([&copy_path] { unlink(copy_path.c_str()); });
    return false;
  }
  std::string answers;
  CommandLine command(4096);
  command.Add("printf '%s' ")
      .AddArgument(kRoutingQuestions)
      .Add(" | ")
      .Add(kSendmailProgram)
      .Add(" -C ")
      .AddArgument(copy_path)
      .Add(" -bt 2>&1");
  if (command.fits()) RunCaptured(command.text(), &answers, kAnswerLimit);
  unlink(copy_path.c_str());
  const std::string failure = ReplaceAll(RoutingFailure(answers), copy_path, cf_path);
  if (failure.empty()) return true;
  *err = "sendmail can't use the new " + cf_path + ": " + failure;
  errno = EINVAL;
  return false;
}
