#pragma once

// The backup copy of named's configuration file, which the rollback puts
// back when a later stage fails.

#include "base/console.h"
#include "base/journal.h"

// Copies `file` to `file`.qvbackup with cp, printing the command line, and
// records the backup in `journal` only when this copy made it. A failed copy
// is not reported: the installation goes on without a backup.
void BackUpNamedConf(Console& console, InstallJournal& journal, const char* file);
