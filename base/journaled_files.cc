#include "base/journaled_files.h"

#include <sys/stat.h>

#include "host/backup_copy.h"
#include "host/replace_file.h"

bool BackUpJournaled(const std::string& file, InstallJournal& journal, std::string* err) {
  std::string older;
  if (!MakeBackupCopy(file, &older, err)) return false;
  journal.BackupMade(file, older);
  return true;
}

bool ReplaceJournaled(const std::string& file, std::string_view content, mode_t mode,
                      InstallJournal& journal, std::string* err) {
  std::string set_aside;
  if (!ReplaceFile(file, content, mode, &set_aside, err)) return false;
  // PutInPlace sets aside whatever was at the path, and nothing else.
  if (set_aside.empty())
    journal.Created(file);
  else
    journal.Replaced(file, set_aside);
  return true;
}

bool BackUpAndReplace(const std::string& file, std::string_view content, mode_t mode,
                      InstallJournal& journal, std::string* err) {
  return BackUpJournaled(file, journal, err) && ReplaceJournaled(file, content, mode, journal, err);
}

bool MakeFolderJournaled(const std::string& path, mode_t mode, InstallJournal& journal) {
  if (mkdir(path.c_str(), mode) != 0) return false;
  journal.Created(path);
  return true;
}
