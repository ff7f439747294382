#pragma once

// The stages that settle the service's configuration: the server settings
// and installation folders, the DNS settings, and the configuration file
// that records them. Each returns one byte, 0 for success, and records in
// `journal` what it changed on the host.

#include "base/console.h"
#include "base/journal.h"

class CGeneral;

// Asks for the port, the disconnect time and the installation folder and
// creates that folder; with the mail part makes sure the group popusers
// and the service's user exist and gives the root folder to that user.
// Fills those fields of `settings`. 1 when an answer or a change failed.
unsigned char AskServerSettings(CGeneral& settings, Console& console, InstallJournal& journal,
                                unsigned char mail);

// Asks for the BIND version, confirms named's configuration and pid file
// (backing the configuration up) and asks for the zone defaults. Fills
// those fields of `settings`. 1 when the answers ended.
unsigned char AskDnsSettings(CGeneral& settings, Console& console, InstallJournal& journal);

// Writes the service's configuration file from `settings` in one step and
// records it as created. 1, after saying why, when it cannot be written.
unsigned char WriteConfFile(const CGeneral& settings, Console& console, InstallJournal& journal);
