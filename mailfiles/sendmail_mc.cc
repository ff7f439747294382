#include "mailfiles/sendmail_mc.h"

#include "common/layout.h"

namespace {

// What sendmail's cfhead.m4 writes at the top of every file m4 makes.
constexpr std::string_view kMadeByM4 = "Only edit the source .mc file";
// An .mc that includes sendmail's m4 configuration names this file.
constexpr std::string_view kCfM4 = "/m4/cf.m4";
// The first and the last line of the hook, as far as they tell it.
constexpr std::string_view kHookStart = "dnl Quorvane server: mail for the domains in its";
constexpr std::string_view kHookEnd = "dnl Quorvane server: end of its lines.\n";

// One line of the hook, quoted for m4.
std::string Quoted(std::string_view line) {
  std::string quoted = "`";
  quoted.append(line).append("'\n");
  return quoted;
}

}  // namespace

std::string McFileOf(const std::string& cf_path) {
  const size_t slash = cf_path.rfind('/');
  return (slash == std::string::npos ? std::string() : cf_path.substr(0, slash + 1)) +
         "sendmail.mc";
}

bool MadeFromMc(std::string_view cf, std::string_view mc) {
  return cf.find(kMadeByM4) != std::string_view::npos && mc.find(kCfM4) != std::string_view::npos;
}

bool NamableInMc(std::string_view ins_folder) {
  return ins_folder.find_first_of("`'") == std::string_view::npos;
}

bool HasHook(std::string_view mc) { return mc.find(kHookEnd) != std::string_view::npos; }

std::string HookedMc(std::string_view mc, std::string_view ins_folder) {
  const std::string folder(ins_folder);
  std::string hooked(mc);
  // Lines an earlier, interrupted run added are replaced, never doubled.
  const size_t start = hooked.find(kHookStart);
  const size_t end = hooked.find(kHookEnd);
  if (start != std::string::npos && end != std::string::npos && start < end)
    hooked.erase(start, end + kHookEnd.size() - start);
  if (!hooked.empty() && hooked.back() != '\n') hooked.push_back('\n');
  hooked.append(kHookStart);
  hooked.append(
      " virtual domain list goes to\n"
      "dnl its delivery program. qvremove takes these lines out again.\n"
      "LOCAL_CONFIG\n");
  hooked.append(Quoted("FA" + folder + kEtcSubfolder + "/" + kVirtualDomainsFile));
  hooked.append("LOCAL_RULE_3\n");
  hooked.append(Quoted("R$* < @ $=A > $*\t$@ $1 < @ $2 . > $3"));
  hooked.append("LOCAL_RULE_0\n");
  hooked.append(Quoted("R$*<@$=A>\t$#virtual $@ $2 $: $1"));
  hooked.append(Quoted("R$*<@$=A.>\t$#virtual $@ $2 $: $1"));
  hooked.append("LOCAL_RULESETS\n");
  hooked.append(Quoted("SLocal_check_rcpt"));
  hooked.append(Quoted("R$*\t\t\t$: $>canonify $1"));
  hooked.append(Quoted("R$* < @ $=A . > $*\t$# OK"));
  hooked.append(Quoted("R$* < @ $=A > $*\t$# OK"));
  hooked.append("MAILER_DEFINITIONS\n");
  hooked.append(Quoted("Mvirtual,\tP=" + folder +
                       "/bin/vdeliver, F=lsDFMShP, S=EnvFromL/HdrFromL, R=EnvToL/HdrToL,"));
  hooked.append(Quoted("\t\tA=vdeliver $u $h"));
  hooked.append(kHookEnd);
  return hooked;
}
