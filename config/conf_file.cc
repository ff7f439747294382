#include "config/conf_file.h"

#include <errno.h>

#include "base/settings.h"
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

unsigned char CGeneral::CreateConf() {
  // Written in full under a fresh name and renamed into place, never
  // through a link: a full disk must not pass for an installed service.
  std::string err;
  if (!WriteNewFile(kConfFile, RenderConf(*this), NewFileMode(), &err)) {
    const int error = errno;
    console_.PrintLine(err);
    errno = error;
    return 1;
  }
  journal_.Created(kConfFile);
  return 0;
}
