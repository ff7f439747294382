#pragma once

// The settings that bind a host's sendmail to that host, carried over from
// the sendmail.cf the package's template replaces: the accounts it runs and
// trusts, its queue, pid file and aliases, the addresses it listens on, and
// its local mailer where the template's one is not installed. Measured with
// Debian's sendmail: without its TrustedUser every message is refused
// ("collect: Cannot write ./df...: Permission denied"), and without its
// PidFile the host's init script no longer stops the daemon it started.

#include <string>
#include <string_view>

// The options carried over, by name, in the order they are looked for.
inline constexpr const char* kHostOptionNames[] = {"TrustedUser",      "RunAsUser", "DefaultUser",
                                                   "QueueDirectory",   "PidFile",   "AliasFile",
                                                   "DaemonPortOptions"};

// What the host holds beyond the two files.
struct SendmailHostFacts {
  // The owner of the queue folder when that is not root, else "": sendmail
  // writes its queue only as root or as its trusted user.
  std::string queue_owner;
  // Whether the local mailer programs (P=) of the template and of the
  // replaced file are installed.
  bool template_local_mailer_installed = true;
  bool host_local_mailer_installed = false;
};

// Looks at the host for `filled` (the new configuration) replacing
// `replaced` ("" when there was none). `root` stands for "/" (empty on the
// host itself). Changes nothing.
SendmailHostFacts LearnSendmailHostFacts(std::string_view filled, std::string_view replaced,
                                         const std::string& root = "");

// `filled` with every option of kHostOptionNames that `replaced` sets put in
// place of the template's value (or added after the template's last option
// where the template has none); with TrustedUser set to facts.queue_owner
// where neither file names a TrustedUser or a RunAsUser; and with the
// replaced file's local mailer in place of the template's when only the
// former is installed (it keeps the template's S= and R= rulesets, which
// the replaced file's names may not exist beside). Where `replaced` has
// nothing of these and the queue belongs to root, `filled` comes back
// unchanged.
std::string KeepHostOptions(std::string_view filled, std::string_view replaced,
                            const SendmailHostFacts& facts);

// The program (P=) of the local mailer a configuration defines, or "".
std::string LocalMailerProgram(std::string_view cf);
