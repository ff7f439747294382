#pragma once

// Backup copies made with cp, for the system files the installer copies but
// does not rewrite itself (named.conf, conf.linuxconf).

#include <functional>
#include <string>

// Copies `file` to `file`.qvbackup with cp, each path one literal argument.
// `while_copying`, if given, receives the command line while cp runs. True
// only when this copy wrote the backup: a backup an earlier run left, which
// this copy did not touch, is not this run's to put back.
bool CopyToBackup(const std::string& file,
                  const std::function<void(const std::string& command_line)>& while_copying = {});
