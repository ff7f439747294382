#pragma once

// Opening a virtual user's mailbox, <kMailSpool>/<domain>/<user>, as a
// root program must: no link is followed, the domain's folder is created
// 0700 when missing, a mailbox is created 0600, and anything but a plain
// file with one link is refused.

#include <string>

// Opens the domain's spool folder (O_DIRECTORY, no link followed), creating
// it when `create`; the descriptor, or -1 with `err` and errno kept.
int OpenDomainSpool(const std::string& domain, bool create, std::string* err);

// Opens the user's mailbox in `domain_fd` for reading and writing, creating
// it empty when missing; the descriptor, or -1 with `err` and errno kept.
int OpenMailboxAt(int domain_fd, const std::string& user, std::string* err);
