#include "base/settings.h"
#include "config/config_stages.h"
#include "config/dns_questions.h"
#include "config/named_backup.h"
#include "host/host_files.h"

namespace {

constexpr char kNameServerQuestion[] =
    "Enter default value for the Primary Name Server: (Default: ";

}  // namespace

unsigned char AskDnsSettings(CGeneral& settings, Console& console, InstallJournal& journal) {
  if (!AskBindVersion(console, settings.DNSType)) return 1;

  console.Print("Checking DNS configurationg file...");
  StoreText(settings.NamedConfFile, StartingPath(settings.NamedConfFile, kNamedConfPlaces));
  if (!ConfirmPath(console, kNamedConfKey, settings.NamedConfFile,
                   "Is this the correct path of named.conf file? ( Y/N ): ",
                   "Enter full path of named.conf file: "))
    return 1;
  BackUpNamedConf(console, journal, settings.NamedConfFile);

  console.Print("Checking DNS process id file...\t");
  StoreText(settings.NamedPIDFile, StartingPath(settings.NamedPIDFile, kNamedPidPlaces));
  if (!ConfirmPath(console, kNamedPidKey, settings.NamedPIDFile,
                   "Is this the correct path of named.pid file? ( Y/N ): ",
                   "Enter full path of named.pid file: "))
    return 1;

  if (!AskText(console, kNs1Key, kNameServerQuestion, settings.ns1, NameServerRefusal)) return 1;
  if (!AskNumber(console, kRefreshKey,
                 "Enter default value of Refresh time for DNS: (Default: ", &settings.Refresh))
    return 1;
  if (!AskNumber(console, kRetryKey,
                 "Enter default value of Retry time for DNS: (Default: ", &settings.Retry))
    return 1;
  if (!AskNumber(console, kExpireKey,
                 "Enter default value of Expire time for DNS: (Default: ", &settings.Expire))
    return 1;
  if (!AskNumber(console, kTtlKey, "Enter default value of ttl for DNS: (Default: ", &settings.ttl))
    return 1;
  return 0;
}
