#pragma once

// Telling sendmail to read its files again: SIGHUP to the pid its pid file
// names, but only when that process runs sendmail. A pid file holds just a
// number, which may by now belong to any process at all.

#include <sys/types.h>

#include <string>

enum class SighupResult { kSent, kNotRunning, kNotSendmail };

// Sends SIGHUP to `pid` when its program (/proc/<pid>/exe) is named
// sendmail; the process is held by a pid descriptor from the check to the
// signal, so a pid used again meanwhile gets nothing. `program` receives
// the program's path when it is not sendmail.
SighupResult SighupSendmail(pid_t pid, std::string* program);
