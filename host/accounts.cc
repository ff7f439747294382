// Rules this file keeps:
// - every name reaches the account tool as one literal argument;
// - a command that would not fit its buffer is never run;
// - success is judged by the account database afterwards, never by the
//   tool's exit status; the status only picks the error text of a failure.

#include "host/accounts.h"

#include <errno.h>
#include <grp.h>
#include <pwd.h>

#include "host/command.h"

namespace {

constexpr size_t kGroupCommandSize = 100;
// Room for a home folder of 79 characters even when every one needs quoting.
constexpr size_t kUserCommandSize = 400;

// Sets errno for an account the tool did not make: a tool the shell could
// not find or run says so; any other failure is the tool's refusal.
void ExplainMissingAccount(int tool_status) {
  if (tool_status == kShellCommandNotFound)
    errno = ENOENT;
  else if (tool_status == kShellCommandNotExecutable)
    errno = EACCES;
  else
    errno = EPERM;
}

// The command line did not fit its buffer and was never run.
unsigned char RefuseLongCommand() {
  errno = ENAMETOOLONG;
  return 1;
}

bool GroupExists(const char* group) { return getgrnam(group) != nullptr; }
bool UserExists(const char* user) { return getpwnam(user) != nullptr; }

}  // namespace

unsigned char addGroup(const char* group) {
  CommandLine command(kGroupCommandSize);
  command.Add("/usr/sbin/groupadd ").AddArgument(group);
  if (!command.fits()) return RefuseLongCommand();
  const int status = RunDiscarded(command.text());
  if (GroupExists(group)) return 0;
  ExplainMissingAccount(status);
  return 1;
}

unsigned char addUser(const char* user, const char* home) {
  CommandLine command(kUserCommandSize);
  command.Add("/usr/sbin/useradd -M -g popusers -s /bin/false -d ")
      .AddArgument(home)
      .Add(" ")
      .AddArgument(user);
  if (!command.fits()) return RefuseLongCommand();
  const int status = RunDiscarded(command.text());
  if (UserExists(user)) return 0;
  ExplainMissingAccount(status);
  return 1;
}

unsigned char Userdel(const char* user) {
  CommandLine command(kGroupCommandSize);
  command.Add("/usr/sbin/userdel ").AddArgument(user);
  if (!command.fits()) return 1;
  RunDiscarded(command.text());
  return UserExists(user) ? 1 : 0;
}
