#pragma once

// The two folders the server settings dialogue creates: the installation
// folder (asked until one is created or taken over) and the mail part's root
// folder (asked until one is created or found). Neither may be a system
// folder; the installation folder's programs run as root, so it and every
// folder above it must be root's alone, and the root folder, which the
// service's user receives, may hold nothing root trusts.

#include "base/console.h"
#include "base/journal.h"

// Asks for the installation folder and creates it with mode 0755 (less the
// umask), or takes an existing real folder over with mode 0755 when the
// administrator agrees. With the mail part a folder holding a blank or a
// tab is refused: the mail configuration files split fields on them.
// Records the folder made or the old mode in `journal`. False when standard
// input ended (errno ENODATA).
bool AskInstallationFolder(Console& console, InstallJournal& journal, TextField& folder,
                           bool mail = false);

// Asks for the root folder and creates it with mode 0777 (less the umask);
// an existing folder is used as it is. The folder is given to the service's
// user later, so a folder root trusts (RootTrustsFolder) and one that is,
// holds or lies in `installation_folder` are refused and asked again.
// Records a folder made in `journal`. False when standard input ended
// (errno ENODATA).
bool AskRootFolder(Console& console, InstallJournal& journal, TextField& folder,
                   const char* installation_folder);
