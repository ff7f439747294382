#pragma once

// The system files the installer rewrote, each with the host's original
// kept beside it as its backup (kBackupSuffix), and how to tell whether a file still holds
// exactly what the installer wrote: the installer's own transformation is
// applied again and the results compared.

#include <string>
#include <vector>

struct RewrittenFile {
  std::string path;
  std::string init_script;  // restarted once the file is put back
  // What the installer wrote, from the backup's text.
  std::string (*installed_text)(const std::string& backup_text, const std::string& ins_folder);
  // The installer writes the file also where there was none (no backup).
  bool created_when_missing = false;
  // What it writes there, when that is not installed_text of an empty file.
  std::string (*created_text)(const std::string& ins_folder) = nullptr;
};

// The files of the mail part: sendmail.cf (where the installer may have
// written it), the xinetd entry (which it makes where xinetd has none) and
// inetd.conf.
std::vector<RewrittenFile> MailPartFiles();

enum class RestoreOutcome {
  kNoBackup,  // nothing of the installer's to undo
  kRestored,  // the backup was renamed over the file, or the file the
              // installer created was removed
  kChanged,   // the file changed after the installation: left with its backup
  kFailed,    // `err` says why; the file and backup are as they were
};

// Puts `file` back from its backup when it still holds what the installer
// wrote; never writes through a link.
RestoreOutcome RestoreRewrittenFile(const RewrittenFile& file, const std::string& ins_folder,
                                    std::string* err);

// Where the installer hooked sendmail through the .mc beside `cf_path`:
// puts the .mc back from its backup when it still holds the host's text
// with the installer's lines added, and sendmail.cf with it (the host made
// it from the .mc). kNoBackup when the .mc has no backup; kChanged, with
// both files left, when the .mc changed after the installation.
RestoreOutcome RestoreHookedMc(const std::string& cf_path, const std::string& ins_folder,
                               std::string* err);
