#include "config/conf_file.h"

#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

#include "base/settings.h"

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

bool WriteAll(int fd, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
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
  int fd = open(kConfFile, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0664);
  if (fd < 0) return 1;
  journal_.Created(kConfFile);
  // A full disk must not pass for an installed service: check every step.
  bool written = WriteAll(fd, RenderConf(*this)) && fsync(fd) == 0;
  int write_errno = errno;
  bool closed = close(fd) == 0;
  if (!written) {
    errno = write_errno;
    return 1;
  }
  return closed ? 0 : 1;
}
