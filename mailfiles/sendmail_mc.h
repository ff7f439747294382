#pragma once

// The hook for a sendmail.cf that the host makes with m4 from sendmail.mc
// beside it (Debian, Red Hat): the package's lines go into the .mc, so that
// every later regeneration by the host's own tools keeps them, and every
// option of the host stays as it is.

#include <string>
#include <string_view>

// The .mc beside `cf_path`: its folder's sendmail.mc.
std::string McFileOf(const std::string& cf_path);

// Whether `cf` says it was made by m4 from a .mc ("Only edit the source .mc
// file") and `mc` includes sendmail's m4 configuration itself, so that
// plain m4 makes a sendmail.cf of it, as the host's Makefile does.
bool MadeFromMc(std::string_view cf, std::string_view mc);

// Whether `ins_folder` can be named in the hook: m4 would end a quoted
// string at a backquote or a quote.
bool NamableInMc(std::string_view ins_folder);

// Whether `mc` holds the hook's lines.
bool HasHook(std::string_view mc);

// `mc` with the hook appended (in place of the lines of an earlier hook): the class A of virtual
// domains read from `ins_folder`/etc/VirtualDomains (LOCAL_CONFIG), their names canonical as they
// stand, so that no name server is asked (LOCAL_RULE_3), ruleset 0 handing their addresses to the
// mailer virtual (LOCAL_RULE_0), their recipients accepted from any client (LOCAL_RULESETS,
// Local_check_rcpt) and the mailer virtual running `ins_folder`/bin/vdeliver (MAILER_DEFINITIONS).
// Every line of the hook is quoted, so that m4 copies it as it stands.
std::string HookedMc(std::string_view mc, std::string_view ins_folder);
