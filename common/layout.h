#pragma once

// The installation's layout: every path that the installer writes and that
// the rollback, qvremove and the service's programs find again, named once.
// A name changed here changes for all of them; the build reads the package
// members from this file too (payload/CMakeLists.txt), so keep each member
// on one line of the form below.

// The service's configuration file; while it exists the service counts as
// installed.
inline constexpr char kConfFile[] = "/etc/Quorvane.conf";

// Kept beside each system file the installer edits, holding the host's own
// text: `file` + kBackupSuffix, and older ones numbered after it.
inline constexpr char kBackupSuffix[] = ".qvbackup";

// Backed up, or created empty, by the sendmail stage.
inline constexpr char kLinuxConf[] = "/etc/conf.linuxconf";
// The places of sendmail.cf that the sendmail stage rewrites, the
// installer's own first.
inline constexpr const char* kSendmailCfFiles[] = {"/etc/sendmail.cf", "/etc/mail/sendmail.cf"};
// The POP3 registrations, with xinetd or with inetd.
inline constexpr char kXinetdEntry[] = "/etc/xinetd.d/ipop3";
inline constexpr char kInetdConf[] = "/etc/inetd.conf";

// The mail part's folders: the user lists, one file a domain, and the
// mailboxes' spool, one folder a domain, which the mail account owns.
inline constexpr char kUserListFolder[] = "/etc/vmail";
inline constexpr char kMailSpool[] = "/var/spool/vmail";
inline constexpr const char* kMailFolders[] = {kUserListFolder, kMailSpool};

// The folders made inside the installation folder, as suffixes of it.
inline constexpr char kEtcSubfolder[] = "/etc";
inline constexpr char kLogSubfolder[] = "/log";
inline constexpr char kBinSubfolder[] = "/bin";
inline constexpr const char* kInstallationSubfolders[] = {kEtcSubfolder, kLogSubfolder,
                                                          kBinSubfolder};

// The lists in the etc subfolder.
inline constexpr char kAccessListFile[] = "hosts.allow";
inline constexpr char kVirtualDomainsFile[] = "VirtualDomains";
// What the service writes in the log subfolder.
inline constexpr char kServiceLogFile[] = "quorvane.log";
inline constexpr char kPidFile[] = "quorvane.pid";
inline constexpr char kFailedLoginsFile[] = "pop3-failures";

// The package's members, as the installer finds them in its package folder.
// Programs and libraries are copied into the bin subfolder.
inline constexpr char kQvremoveMember[] = "qvremove";
inline constexpr char kSendmailTemplateMember[] = "sendmail.cf";
inline constexpr char kQuorvaneMember[] = "quorvane";
inline constexpr char kQvdnsMember[] = "libqvdns-0.1.so";
inline constexpr char kQvsmlMember[] = "libqvsml-0.1.so";
inline constexpr char kVdeliverMember[] = "vdeliver";
inline constexpr char kVpop3dMember[] = "vpop3d";
inline constexpr char kRuntimeMember[] = "libstdc++-3-libc6.2-2-2.10.0.so";
inline constexpr char kXinetdEntryMember[] = "ipop3";

// The links the installer makes to the copies in the bin subfolder.
inline constexpr char kQvdnsLink[] = "/usr/lib/libqvdns-0.1.so";
inline constexpr char kQvsmlLink[] = "/usr/lib/libqvsml-0.1.so";
inline constexpr char kRuntimeLink[] = "/usr/lib/libstdc++-libc6.2-2.so.3";
inline constexpr char kQuorvaneCommand[] = "/usr/bin/quorvane";
