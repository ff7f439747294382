#pragma once

// The two folders the server settings dialogue creates: the installation
// folder (asked until one is created or taken over) and the mail part's root
// folder (asked until one is created or found).

#include "base/console.h"
#include "base/journal.h"

// Asks for the installation folder and creates it with mode 0755 (less the
// umask), or takes an existing folder over with mode 0755 when the
// administrator agrees. Records the folder made or the old mode in
// `journal`. False when standard input ended (errno ENODATA).
bool AskInstallationFolder(Console& console, InstallJournal& journal, TextField& folder);

// Asks for the root folder and creates it with mode 0777 (less the umask);
// an existing folder is used as it is. Records a folder made in `journal`.
// False when standard input ended (errno ENODATA).
bool AskRootFolder(Console& console, InstallJournal& journal, TextField& folder);
