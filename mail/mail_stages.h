#pragma once

// The stages that hook the service into the host's mail: sendmail's
// configuration and the POP3 registration with the internet super-server.
// Each returns one byte, 0 for success, and records in `journal` what it
// changed on the host.

#include "base/console.h"
#include "base/journal.h"

class CGeneral;

// Makes sure the group mail exists, confirms sendmail's configuration and
// pid file, and puts the service's sendmail.cf (or .mc and .cf) in place,
// each backed up first; backs up or creates conf.linuxconf. Fills the
// sendmail fields of `settings`. 1 when the group, an answer or a file
// failed.
unsigned char HookIntoSendmail(CGeneral& settings, Console& console, InstallJournal& journal);

// Rewrites the xinetd entry for POP3, or makes it where xinetd has none,
// the old entry backed up. 1 with errno set when xinetd is not there or the
// entry cannot be put in place.
unsigned char RegisterPop3WithXinetd(const CGeneral& settings, Console& console,
                                     InstallJournal& journal);

// Rewrites inetd.conf's POP3 line, the old file backed up. 1 with errno set
// when the file cannot be read or put in place.
unsigned char RegisterPop3WithInetd(const CGeneral& settings, Console& console,
                                    InstallJournal& journal);
