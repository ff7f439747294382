#include "payload/quorvane/sendmail_signal.h"

#include <limits.h>
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <string_view>

namespace {

// The program's file name, without the mark the kernel adds once the file
// has been replaced (as a package upgrade does).
std::string_view ProgramName(std::string_view path) {
  constexpr std::string_view kDeleted = " (deleted)";
  if (path.ends_with(kDeleted)) path.remove_suffix(kDeleted.size());
  const size_t slash = path.rfind('/');
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

}  // namespace

SighupResult SighupSendmail(pid_t pid, std::string* program) {
  if (pid <= 1) return SighupResult::kNotRunning;
  const int pidfd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
  if (pidfd < 0) return SighupResult::kNotRunning;
  char exe[PATH_MAX];
  const std::string link = "/proc/" + std::to_string(pid) + "/exe";
  const ssize_t length = readlink(link.c_str(), exe, sizeof exe - 1);
  program->assign(exe, length > 0 ? static_cast<size_t>(length) : 0);
  SighupResult result = SighupResult::kNotSendmail;
  // A process that died after the pid descriptor was taken gets no signal,
  // even if its pid was given to another (which the check above then saw).
  if (ProgramName(*program) == "sendmail")
    result = syscall(SYS_pidfd_send_signal, pidfd, SIGHUP, nullptr, 0) == 0
                 ? SighupResult::kSent
                 : SighupResult::kNotRunning;
  close(pidfd);
  return result;
}
