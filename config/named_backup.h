#pragma once

// The backup copy of named's configuration file, which the rollback puts
// back when a later stage fails.

#include "base/console.h"
#include "base/journal.h"

// Prints the line "cp <file> <backup>" (BackupPathOf), makes the backup copy (an
// older one is kept under a numbered name) and records it in `journal` only
// when this copy made it. A failed copy is not reported: the installation
// goes on without a backup.
void BackUpNamedConf(Console& console, InstallJournal& journal, const char* file);
