#include "config/named_backup.h"

#include <string>

#include "host/backup_copy.h"

void BackUpNamedConf(Console& console, InstallJournal& journal, const char* file) {
  auto print_command = [&console](const std::string& line) { console.PrintLine(line); };
  if (CopyToBackup(file, print_command)) journal.BackupMade(file, std::string(file) + ".qvbackup");
}
