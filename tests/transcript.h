#pragma once

// Builders for the console text the installer is expected to print. A line
// end is "\n"; prompts end without one; answers are not echoed, since the
// tests feed standard input through a pipe.

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "tests/installer_run.h"

// Questions and prompts as the installer prints them.
inline constexpr char kMailQuestion[] = "Do you want to install sendmail controller? (Y/N): ";
inline constexpr char kPortQuestion[] = "Enter tcp port for Quorvane server (Default: ";
inline constexpr char kDisconnectQuestion[] =
    "Enter Auto disconnect time (in seconds) for Quorvane server (Default: ";
inline constexpr char kInstallationQuestion[] =
    "Enter installation folder for Quorvane server (Default: ";
inline constexpr char kTakeoverQuestion[] =
    "\nFolder already exist.\nDo you want to overwrite it? ( Y/N ): ";
// With the line end that follows the answer.
inline constexpr char kPopusersQuestion[] =
    "\npopusers group does not exist\nDo you want to create it? (Y/N): \n";
inline constexpr char kMailGroupQuestion[] =
    "mail group does not exist\nDo you want to create it? (Y/N): ";
inline constexpr char kRootQuestion[] = "Enter root folder for Quorvane server (Default: ";
inline constexpr char kNameServerQuestion[] =
    "Enter default value for the Primary Name Server: (Default: ";
inline constexpr char kAddressPrompt[] = "\nEnter IP address of your windows Quorvane machine: ";
inline constexpr char kLinkQuestion[] = "Do you want to overwrite it? (Y/N): ";
inline constexpr char kStartQuestion[] = "Do want to start Quorvane now? (Y/N): ";

// "\n" + question + value + ")\n" + "Press Enter for Default: ", the prompt of
// a question with a default; `question` ends in "(Default: ".
std::string DefaultPrompt(std::string_view question, std::string_view value);

// text + "\n".
std::string Line(std::string_view text);

// Success when both transcripts are equal; else a failure naming the first
// differing line of each (with line ends, tabs and control characters shown
// escaped) and a few lines of context before it.
::testing::AssertionResult SameTranscript(std::string_view expected, std::string_view actual);

// Pieces of a run in which every default is kept; see AnswersUpToAddress
// for the answers that give them.

// The extraction line, the mail question with the line end that follows
// its answer, and the server stage's heading: what every run prints before
// its first server question.
std::string Opening();

// The port and auto disconnect time prompts with their defaults.
std::string DefaultNumbers();

// DefaultNumbers(), the installation folder prompt with the default folder
// and, with `takeover`, the question about the folder already there.
std::string ServerQuestions(bool takeover = false);

// The server stage after Opening(): ServerQuestions(takeover); with the mail
// part the popusers check and the root folder prompt; then "Success".
std::string ServerDialogue(MailPart mail = MailPart::kNone, bool takeover = false);

// The BIND menu up to its prompt.
std::string BindMenu();

// The DNS stage up to the name server question, named's files found: the
// heading, the BIND menu with the default taken, the named.conf check, its
// backup command line and the pid file check.
std::string DnsOpening();

// The four zone time prompts with their defaults.
std::string ZoneDefaults();

// DnsOpening(), the name server and zone time prompts, and "Success".
std::string DnsDialogue();

// The sendmail stage's checks when the mail group and sendmail's files are
// found.
std::string SendmailChecks();

// The sendmail and pop3 stages when all they look for is found.
std::string MailStages();

// Opening() of a mail run to the sendmail stage's heading "Updating sendmail...".
std::string UpToSendmail(MailPart mail);

// Opening() to the folder stage's heading "Creating required folders...".
std::string UpToFolders(MailPart mail = MailPart::kNone, bool takeover = false);

// UpToFolders(), the address prompt answered, "Success" and "Copying files...".
std::string UpToCopies(MailPart mail = MailPart::kNone, bool takeover = false);

// The start question; with `started` the line of the server program the
// installer starts; the usage lines.
std::string StartAndUsage(bool started);

// All a successful run prints after the DNS stage and the mail stages: the
// folder stage with the address accepted, the copies, the configuration
// file, with a `super_server` the restart of sendmail and it, and
// StartAndUsage(started).
std::string RunEnding(bool started, std::string_view super_server = "");

// What the copy stage prints about `path` in the way of the link for `name`:
// two lines and the question whether to overwrite it.
std::string LinkInTheWay(std::string_view name, std::string_view path);

// The failed stage's error line, `error_text` when there is one, and
// "Installation aborted".
std::string Abort(std::string_view error_line, std::string_view error_text);
