#pragma once

// The host's own sendmail loads a new configuration before it goes live,
// and routes an address of a listed virtual domain to the mailer virtual
// and a local user to the mailer local. The installation writes the list of
// virtual domains only later, so the copy that sendmail loads holds a test
// domain in the class of virtual domains in place of the list file; every
// other line is the new file's own.

#include <string>
#include <string_view>

// The host's sendmail.
inline constexpr char kSendmailProgram[] = "/usr/sbin/sendmail";

// The copy sendmail loads: `cf` with the line that reads class A from
// `domain_list` defining it as the test domain instead.
std::string CopyForTheTest(std::string_view cf, std::string_view domain_list);

// What sendmail is asked in address test mode (-bt).
inline constexpr char kRoutingQuestions[] = "/parse qvinstall@qvinstall.invalid.\n/parse root\n";

// Why sendmail's answers to kRoutingQuestions show that the configuration
// does not work, or "" when both addresses went where they belong.
std::string RoutingFailure(std::string_view answers);

// Writes CopyForTheTest beside `cf_path` under a fresh name, has the host's
// sendmail load it in address test mode, and removes it again. True when
// sendmail routed both addresses, and also when the host has no sendmail
// to load it; false with `err` saying why not.
bool SendmailRoutes(const std::string& cf_path, std::string_view cf, std::string_view domain_list,
                    std::string* err);
