#include "config/conf_file.h"

#include "base/settings.h"
#include "config/config_stages.h"
#include "host/replace_file.h"

namespace {

void AddText(std::string* conf, const char* key, const char* value) {
  *conf += key;
  *conf += " \"";
  *conf += value;
  *conf += "\"\n";
}

void AddNumber(std::string* conf, const char* key, uint32_t value) {
  *conf += key;
  *conf += ' ';
  *conf += std::to_string(value);
  *conf += '\n';
}

}  // namespace

std::string RenderConf(const CGeneral& settings) {
  std::string conf = "#  Configuration file for Quorvane\n";
  AddText(&conf, "DNSType", settings.DNSType);
  AddNumber(&conf, "Port", settings.Port);
  AddText(&conf, "NamedConfFile", settings.NamedConfFile);
  AddText(&conf, "NamedPIDFile", settings.NamedPIDFile);
  AddText(&conf, "SendMailPIDFile", settings.SendMailPIDFile);
  AddNumber(&conf, "AutoDisconnectTime", settings.AutoDisconnectTime);
  AddNumber(&conf, "Refresh", settings.Refresh);
  AddNumber(&conf, "Retry", settings.Retry);
  AddNumber(&conf, "Expire", settings.Expire);
  AddNumber(&conf, "ttl", settings.ttl);
  AddText(&conf, "ns1", settings.ns1);
  AddText(&conf, "InsFolder", settings.InsFolder);
  AddText(&conf, "RFolder", settings.RFolder);
  return conf;
}

unsigned char WriteConfFile(const CGeneral& settings, Console& console, InstallJournal& journal) {
  // Written in full under a fresh name and renamed into place, never
  // through a link: a full disk must not pass for an installed service.
  std::string err;
  if (!WriteNewFile(kConfFile, RenderConf(settings), NewFileMode(), &err))
    return FailStage(console, err);
  journal.Created(kConfFile);
  return 0;
}
