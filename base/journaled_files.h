#pragma once

// The changes a stage makes to the host's files, each written in the
// journal the moment it is made, so that the rollback undoes exactly what
// this run did: a backup copy, a file put in place of another, a new
// folder.

#include <sys/types.h>

#include <string>
#include <string_view>

#include "base/journal.h"

// Makes `file`.qvbackup hold `file` as it stands (MakeBackupCopy) and
// records the copy. False with errno set and `err` filled; nothing is then
// recorded.
bool BackUpJournaled(const std::string& file, InstallJournal& journal, std::string* err);

// Puts `content` with `mode` in place of `file` in one step (ReplaceFile)
// and records what was there as set aside, or `file` as created when
// nothing was. False with errno set and `err` filled; `file` is then as it
// was.
bool ReplaceJournaled(const std::string& file, std::string_view content, mode_t mode,
                      InstallJournal& journal, std::string* err);

// The edit of a system file: its backup copy, then the new content in its
// place, both recorded. False with errno set and `err` filled; the file is
// then as it was.
bool BackUpAndReplace(const std::string& file, std::string_view content, mode_t mode,
                      InstallJournal& journal, std::string* err);

// Makes the folder `path` with `mode` (less the umask) and records it as
// created. False with errno set (EEXIST when something is there already);
// nothing is then recorded.
bool MakeFolderJournaled(const std::string& path, mode_t mode, InstallJournal& journal);
