#pragma once

// Which folders the installer may take for the service or give away to its
// system user: never a folder the host's own system lives in, and never one
// below a folder that someone other than root could change.

#include <string>

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
