#pragma once

// Backup copies of the system files the installer edits or copies
// (named.conf, sendmail.cf, the linuxconf file, the xinetd entry,
// inetd.conf): one mechanism for all of them, named by kBackupSuffix
// (common/layout.h), by which the rollback and qvremove find them again.

#include <string>

// The name of the backup copy of `file`: `file` + kBackupSuffix.
std::string BackupPathOf(const std::string& file);

// Makes BackupPathOf(`file`) hold `file` as it stands now: a new regular file the
// run creates itself beside it (O_CREAT|O_EXCL|O_NOFOLLOW), written with the
// same bytes, mode and owner, flushed and renamed over the backup name, so
// a link planted there is never written through. A backup an earlier run
// left is kept under the first free numbered name (the backup's name with
// .1, .2, ... added), returned in `older` ("" when there was none). Only a regular file is
// copied, opened without blocking. False with errno set and `err` filled; no
// backup, empty or partial, is then left and an older one stays as it was.
bool MakeBackupCopy(const std::string& file, std::string* older, std::string* err);
