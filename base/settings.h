#pragma once

// CGeneral: the installation settings that every stage shares, and the
// object whose methods are the stages and the rollback. Each stage returns
// one byte, 0 for success.

#include <cstdint>

#include "base/console.h"
#include "base/journal.h"

class CGeneral {
 public:
  // Sets the defaults; the console is where every question is asked.
  explicit CGeneral(Console& console = Console::Standard());
  // Drops what the run replaced and kept for a rollback that did not come.
  ~CGeneral();
  CGeneral(const CGeneral&) = delete;
  CGeneral& operator=(const CGeneral&) = delete;

  // Server settings and installation folder (config/server_conf.cc).
  unsigned char ServerConf(unsigned char mail);
  // BIND generation, named's files and the zone defaults (config/dns_conf.cc).
  unsigned char CheckDNS();
  // Mail group and the new sendmail.cf (mail/sendmail.cc).
  unsigned char CheckSendmail();
  // POP3 registration with xinetd or inetd (mail/pop3_registration.cc).
  unsigned char Updatexinetd();
  unsigned char Updateinetd();
  // Folder tree, access list and virtual domain list (deploy/folders.cc).
  unsigned char GCreateFolders(unsigned char mail);
  // Programs and links; non-zero results are failure stages 2 or 3 (deploy/copy_files.cc).
  unsigned char CopyFiles(unsigned char mail);
  // The configuration file (config/conf_file.cc).
  unsigned char CreateConf();
  // Undoes this run's work after a failure at `stage` (driver/rollback.cc).
  void QVRemove(unsigned char stage, unsigned char mail);

  TextField InsFolder;
  TextField RFolder;
  TextField DNSType;
  uint32_t Port;
  TextField NamedConfFile;
  TextField NamedPIDFile;
  TextField SendMailCfFile;
  TextField SendMailPIDFile;
  uint32_t AutoDisconnectTime;
  uint32_t Refresh;
  uint32_t Retry;
  uint32_t Expire;
  uint32_t ttl;
  TextField ns1;

 private:
  Console& console_;
  InstallJournal journal_;
};
