#include "base/settings.h"
#include "config/dns_questions.h"
#include "config/named_backup.h"
#include "host/host_files.h"

namespace {

constexpr char kNameServerQuestion[] =
    "Enter default value for the Primary Name Server: (Default: ";

}  // namespace

unsigned char CGeneral::CheckDNS() {
  if (!AskBindVersion(console_, DNSType)) return 1;

  console_.Print("Checking DNS configurationg file...");
  StoreText(NamedConfFile, StartingPath(NamedConfFile, kNamedConfPlaces));
  if (!ConfirmPath(console_, kNamedConfKey, NamedConfFile,
                   "Is this the correct path of named.conf file? ( Y/N ): ",
                   "Enter full path of named.conf file: "))
    return 1;
  BackUpNamedConf(console_, journal_, NamedConfFile);

  console_.Print("Checking DNS process id file...\t");
  StoreText(NamedPIDFile, StartingPath(NamedPIDFile, kNamedPidPlaces));
  if (!ConfirmPath(console_, kNamedPidKey, NamedPIDFile,
                   "Is this the correct path of named.pid file? ( Y/N ): ",
                   "Enter full path of named.pid file: "))
    return 1;

  if (!AskText(console_, kNs1Key, kNameServerQuestion, ns1, NameServerRefusal)) return 1;
  if (!AskNumber(console_, kRefreshKey,
                 "Enter default value of Refresh time for DNS: (Default: ", &Refresh))
    return 1;
  if (!AskNumber(console_, kRetryKey,
                 "Enter default value of Retry time for DNS: (Default: ", &Retry))
    return 1;
  if (!AskNumber(console_, kExpireKey,
                 "Enter default value of Expire time for DNS: (Default: ", &Expire))
    return 1;
  if (!AskNumber(console_, kTtlKey, "Enter default value of ttl for DNS: (Default: ", &ttl))
    return 1;
  return 0;
}
