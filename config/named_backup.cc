#include "config/named_backup.h"

#include <string>

#include "base/journaled_files.h"
#include "host/backup_copy.h"
#include "host/command.h"

namespace {
constexpr size_t kCommandSize = 1024;
}  // namespace

void BackUpNamedConf(Console& console, InstallJournal& journal, const char* file) {
  // The line an administrator knows, though the copy is made without cp.
  CommandLine line(kCommandSize);
  line.Add("cp ").AddArgument(file).Add(" ").AddArgument(BackupPathOf(file));
  console.PrintLine(line.text());
  std::string err;
  BackUpJournaled(file, journal, &err);
}
