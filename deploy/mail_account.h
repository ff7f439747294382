#pragma once

// The mail account: the unprivileged account that owns the virtual
// mailboxes and their spool folder, and that the mail programs run as once
// they have given up root. It is never the service's user, whose daemon
// faces the network, and never root.

#include <sys/types.h>

#include "base/console.h"
#include "base/journal.h"

// Makes sure the mail account exists: an existing one is used when it is
// not root's; a missing one is made (group popusers, no shell, the spool as
// its home) and recorded in `journal`. False, after saying why, when there
// is no usable account in the end; errno says why.
bool EnsureMailAccount(Console& console, InstallJournal& journal, uid_t* uid, gid_t* gid);

// Gives the spool folder (a real folder, never through a link) to the mail
// account with mode 0700, recording the owner and mode of a folder that was
// there before the run. False with errno.
bool GiveSpoolToMailAccount(InstallJournal& journal, uid_t uid, gid_t gid);
