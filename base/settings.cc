#include "base/settings.h"

#include <unistd.h>

CGeneral::CGeneral(Console& console)
    : InsFolder("/usr/local/quorvane"),
      RFolder("/var/quorvane"),
      DNSType(""),
      Port(33333),
      NamedConfFile("/etc/named.conf"),
      NamedPIDFile("/var/run/named/named.pid"),
      SendMailCfFile(""),
      SendMailPIDFile(""),
      AutoDisconnectTime(30),
      Refresh(28800),
      Retry(7200),
      Expire(604800),
      ttl(86400),
      ns1("@"),
      console_(console) {}

CGeneral::~CGeneral() {
  for (const InstallJournal::SetAside& kept : journal_.TakeSetAside()) unlink(kept.kept_as.c_str());
}
