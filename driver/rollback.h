#pragma once

// The rollback after a failed stage.

#include "base/console.h"
#include "base/journal.h"

class CGeneral;

// Undoes what the stages up to failure stage `stage` did on the host, as
// `journal` recorded it: puts replaced files and backups back, removes what
// this run made, and removes the working folder. Prints only the lines
// about a system user it cannot delete.
void RollBack(const CGeneral& settings, Console& console, InstallJournal& journal,
              unsigned char stage, unsigned char mail);
