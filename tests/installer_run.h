#pragma once

// Running the built installer in a sandbox on a typical host: the hosts,
// the answers, and what the tests read back from the sandbox afterwards.

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

#include "sandbox/sandbox.h"

using Paths = std::vector<std::string>;

// How a run goes through the mail part.
enum class MailPart {
  kNone,           // the mail question answered "n"
  kCreatingGroup,  // "y"; the popusers group is missing and created on "y"
  kGroupPresent,   // "y"; the host has the popusers group (SeedPopusersGroup)
};

// A whole run without the mail part: mail question, port, disconnect time,
// installation folder, BIND menu, name server, four zone times, IP address,
// start question.
inline constexpr char kDefaultAnswers[] =
    "n\n"
    "\n\n\n"
    "\n"
    "\n"
    "\n\n\n\n"
    "192.168.1.20\n"
    "y\n";

// A whole run with the mail part, on SeedMailHost: as above plus creating the
// popusers group and the mail root folder.
inline constexpr char kDefaultMailAnswers[] =
    "y\n"
    "\n\n\n"
    "y\n"
    "\n"
    "\n"
    "\n"
    "\n\n\n\n"
    "192.168.1.20\n"
    "y\n";

// The BIND menu, the name server and the four zone times, all defaults.
inline constexpr char kDnsAnswers[] = "\n\n\n\n\n\n";
// An answer the address question accepts.
inline constexpr char kAddress[] = "192.168.1.20\n";

// The mail question and the server dialogue with every default kept; with
// the mail part a missing popusers group is created. `takeover` answers "Y"
// to taking over an existing installation folder.
std::string ServerAnswers(MailPart mail, bool takeover = false);

// ServerAnswers() and kDnsAnswers: all answers before the address question
// of a host where the sendmail stage asks nothing.
std::string AnswersUpToAddress(MailPart mail = MailPart::kNone, bool takeover = false);

// Where the installer unpacks its package; a run leaves no such folder.
inline constexpr char kWorkingFolder[] = "/QVInstallation";
// Where the installer puts the service when the default is kept.
inline constexpr char kDefaultInstallationFolder[] = "/usr/local/quorvane";
// The mail part's root folder when the default is kept.
inline constexpr char kDefaultRootFolder[] = "/var/quorvane";

// kDefaultInstallationFolder + relative.
std::string InFolder(const std::string& relative);

// The folder holding the built installer and decode tool.
std::string DistDir();

// Seeds init scripts, /etc/named.conf and named's pid file.
void SeedStandardHost(Sandbox& sandbox);

// Seeds the standard host plus sendmail's configuration and pid file, an
// xinetd pop3 entry and linuxconf's configuration.
void SeedMailHost(Sandbox& sandbox);

// Seeds a popusers group with gid 4242 in place of the host's own, if any.
void SeedPopusersGroup(Sandbox& sandbox);

// A mail host whose popusers group already exists, so the server stage
// asks no group question: SeedMailHost and SeedPopusersGroup.
void SeedMailHostWithGroups(Sandbox& sandbox);

// Seeds /etc/group and /etc/gshadow without the mail group.
void SeedWithoutMailGroup(Sandbox& sandbox);

// Runs DistDir()/qvinstall from DistDir() with `answers` on standard input.
RunResult RunInstaller(Sandbox& sandbox, const std::string& answers, RunOptions options = {});

// Runs DistDir()/qvinstall from DistDir() with the arguments `args`.
RunResult RunInstallerWith(Sandbox& sandbox, const std::vector<std::string>& args,
                           const std::string& answers = "");

// Runs DistDir()/qvinstall from DistDir() as an administrator types
// `answers` at a terminal: each is given once the installer waits for it,
// and `output` shows it after its prompt with its line end, as the terminal
// echoes it. After the last answer the input ends. `exit_status` is the
// installer's.
RunResult RunTyped(Sandbox& sandbox, const std::vector<std::string>& answers);

// Runs dist_dir/qvinstall from dist_dir as RunInstaller does, with its
// standard error joined to standard output as the administrator's console
// shows them; `exec` keeps the installer the process that gets signals.
RunResult RunOnConsole(Sandbox& sandbox, const std::string& answers, RunOptions options = {},
                       const std::string& dist_dir = DistDir());

// Runs a shell script in the sandbox, for what needs more than one program:
// runs side by side, a pipe reader that goes away, a check as another user.
RunResult RunScript(Sandbox& sandbox, const std::string& script, RunOptions options = {});

// The start of a script: runs the installer from DistDir() in the
// background, its output in `output_file`, its answers from a FIFO that the
// script writes on descriptor 3, and waits until it asks the mail question.
// Its process ID is in $installer.
std::string ScriptUpToFirstQuestion(const std::string& output_file);

// Shell functions for scripts and stand-in programs that wait for an event
// rather than for a while; each looks every tenth of a second, thirty
// seconds at most:
//   await CONDITION             until the shell condition holds; what it says
//                               while it does not (a file not there yet) is
//                               no part of the script's output;
//   await_deferred NAME NUMBER  until the process named NAME holds signal
//                               NUMBER blocked and pending (it defers it).
inline constexpr char kAwaitFunctions[] =
    "await() { n=0; while ! eval \"$1\" 2>/dev/null && [ $n -lt 300 ]; do\n"
    "  sleep 0.1; n=$((n + 1)); done; }\n"
    "deferred() { for p in /proc/[0-9]*; do\n"
    "  [ \"$(cat $p/comm 2>/dev/null)\" = \"$1\" ] || continue\n"
    "  mask=$(sed -n 's/^ShdPnd:[[:space:]]*//p' $p/status)\n"
    "  [ -n \"$mask\" ] && [ $(((0x$mask >> ($2 - 1)) & 1)) = 1 ] && return 0\n"
    "done; return 1; }\n"
    "await_deferred() { await \"deferred $1 $2\"; }\n";

// `text` as one single-quoted shell word.
std::string ShellWord(const std::string& text);

// The account file (passwd, group, ...) as the sandbox has it, without the
// line of `name`.
std::string WithoutEntry(const Sandbox& sandbox, const std::string& file, const std::string& name);

// The line of `name` in an account file after the run, if any.
std::optional<std::string> AccountLine(const Sandbox& sandbox, const std::string& file,
                                       const std::string& name);

// The user id of the account `name` after the run, if it exists.
std::optional<uid_t> AccountUid(const Sandbox& sandbox, const std::string& name);

// The permission bits of `path` after the run; 0 when it is missing.
mode_t ModeAfter(const Sandbox& sandbox, const std::string& path);

// The mode the installer gives a file it creates: 0664 less the umask the
// sandboxed run inherits from this process.
mode_t NewFileMode();

// Whether `path` is one of `paths`.
bool Contains(const Paths& paths, const std::string& path);

// `paths` sorted, as change sets are.
Paths Sorted(Paths paths);
