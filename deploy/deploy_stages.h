#pragma once

// The stages that put the service on the host: its folders and lists, then
// its programs and their links. Each returns one byte, 0 for success, and
// records in `journal` what it changed on the host.

#include "base/console.h"
#include "base/journal.h"

class CGeneral;

// Makes the folders under the installation folder and the access list;
// with the mail part also the mail account, the mail folders and the
// virtual domain list. 1, after saying why, when one cannot be made.
unsigned char CreateServiceFolders(const CGeneral& settings, Console& console,
                                   InstallJournal& journal, unsigned char mail);

// Copies the programs into the installation's bin folder and links them
// into the system's folders. Non-zero is the failure stage of the rollback
// (2 or 3).
unsigned char CopyPrograms(const CGeneral& settings, Console& console, InstallJournal& journal,
                           unsigned char mail);
