#pragma once

// Which folders the installer may take for the service or give away to its
// system user: never a folder the host's own system lives in, and never one
// below a folder that someone other than root could change.

#include <string>

// Where dpkg lists the paths of each installed package (<package>.list).
inline constexpr char kPackageListsFolder[] = "/var/lib/dpkg/info";

// True when `path`, as written or after following its links, is a system
// folder ("/", "/etc", "/usr", "/usr/bin", "/var/spool", ...) or lies inside
// /proc, /sys or /dev. Looks at the file system only to resolve links.
bool IsSystemFolder(const std::string& path);

// True when `folder` (an existing real folder, or a folder still to be
// made) and every folder above it belong to root and nobody else can
// change them: none is writable by group or others, except that a folder
// above may be a sticky one (such as /tmp), where only root can move what
// root made. Links on the way are followed and the folders they lead to
// judged.
bool OnlyRootCanChange(const std::string& folder);

// True when root must not give `folder` to another user, because root runs
// or reads what lies there: it is a system folder (IsSystemFolder), lies in
// a tree of the system (/etc, /usr, /boot, /lib*, /bin, /sbin, /var/lib,
// /root, /run, /var/log, /var/cache, the mail spools, /dev, /proc, /sys),
// holds one, is named in a package's file list in `package_lists` (or holds
// a path named there), or holds a program (a file with an execute, set-user
// or set-group bit). Judged as written and with links followed; reads the
// package lists and what the folder holds, changes nothing.
bool RootTrustsFolder(const std::string& folder,
                      const std::string& package_lists = kPackageListsFolder);

// True when `a` is `b`, lies inside it or holds it: on the paths as written
// and with links followed, and, for the folders that exist, by their
// identity (so a bind mount of one is not taken for another folder).
bool FoldersOverlap(const std::string& a, const std::string& b);
