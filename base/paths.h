#pragma once

// Paths that a stage writes and the rollback undoes, named once for both.

// The service's configuration file; while it exists the service counts as installed.
constexpr char kConfFile[] = "/etc/Quorvane.conf";
// The service command, a link to the installation's program.
constexpr char kQuorvaneCommand[] = "/usr/bin/quorvane";
// The POP3 registrations, with xinetd or with inetd.
constexpr char kXinetdEntry[] = "/etc/xinetd.d/ipop3";
constexpr char kInetdConf[] = "/etc/inetd.conf";
// Backed up, or created empty, by the sendmail stage.
constexpr char kLinuxConf[] = "/etc/conf.linuxconf";
// The mail part's folders: the user lists, and the mailboxes' spool, which
// the mail account owns.
constexpr char kMailSpool[] = "/var/spool/vmail";
constexpr const char* kMailFolders[] = {"/etc/vmail", kMailSpool};
// The folders made inside the installation folder, as suffixes of it.
constexpr const char* kInstallationSubfolders[] = {"/etc", "/log", "/bin"};
