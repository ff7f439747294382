#pragma once

// The unprivileged account that owns the virtual mailboxes, their spool
// folder and the user lists, and that the mail programs run as once they
// have given up root. The installer creates it, with the spool as its home,
// when it is missing; qvremove deletes it once the spool is gone.
inline constexpr char kMailAccount[] = "qvmail";
// The account the part of vpop3d that reads a client's login runs as.
inline constexpr char kUnprivilegedAccount[] = "nobody";
