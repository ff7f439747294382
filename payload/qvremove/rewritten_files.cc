// Rules this file keeps:
// - what an administrator changed after the installation is never
//   overwritten: a file is put back only when it equals, byte for byte,
//   what the installer's transformation makes of the backup;
// - the file is never missing: the backup is renamed over it in one step.

#include "payload/qvremove/rewritten_files.h"

#include <errno.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <unistd.h>

#include "common/layout.h"
#include "mailfiles/inetd_conf.h"
#include "mailfiles/sendmail_mc.h"
#include "mailfiles/sendmail_options.h"
#include "mailfiles/sendmail_template.h"
#include "mailfiles/xinetd_entry.h"
#include "payload/qvremove/package_texts.h"
#include "payload/qvsml/text_file.h"

namespace {

// The whole regular file at `path`, never through a link.
bool ReadRegularFile(const std::string& path, std::string* text) {
  std::string err;
  return ReadTextFile(path, text, &err);
}

std::string HostName() {
  struct utsname names;
  return uname(&names) == 0 ? names.nodename : "";
}

// The template as the installer filled it, with what bound sendmail to
// this host carried over from the file it replaced ("" when there was none).
std::string SendmailText(const std::string& backup, const std::string& ins_folder) {
  const std::string filled = FillSendmailTemplate(kSendmailTemplateText, ins_folder, HostName());
  return KeepHostOptions(filled, backup, LearnSendmailHostFacts(filled, backup));
}

std::string XinetdText(const std::string& backup, const std::string& ins_folder) {
  return TransformXinetdEntry(backup, ins_folder);
}

// The package's own entry, which the installer writes where xinetd has none.
std::string CreatedXinetdText(const std::string& ins_folder) {
  return TransformXinetdEntry(kXinetdEntryText, ins_folder);
}

std::string InetdText(const std::string& backup, const std::string& ins_folder) {
  return RegisterPop3InInetdConf(backup, ins_folder);
}

// The copy that holds the host's own file. That is the backup, unless the
// backup is itself in the installer's form: a run interrupted before its
// rollback left the installer's text in place, and the next run backed that
// up, keeping the host's file as the backup numbered N (N counting up with
// time).
// Then it is the newest numbered copy from which the installer's
// transformation gives `current`.
std::string HostOriginal(const RewrittenFile& file, const std::string& ins_folder,
                         const std::string& current, const std::string& backup,
                         const std::string& backup_text) {
  if (file.installed_text(backup_text, ins_folder) != backup_text) return backup;
  std::vector<std::string> numbered;
  struct stat st;
  for (int n = 1; lstat((backup + "." + std::to_string(n)).c_str(), &st) == 0; ++n) {
    numbered.push_back(backup + "." + std::to_string(n));
  }
  for (auto copy = numbered.rbegin(); copy != numbered.rend(); ++copy) {
    std::string text;
    if (ReadRegularFile(*copy, &text) && text != backup_text &&
        file.installed_text(text, ins_folder) == current) {
      return *copy;
    }
  }
  return backup;
}

}  // namespace

std::vector<RewrittenFile> MailPartFiles() {
  std::vector<RewrittenFile> files;
  for (const char* cf : kSendmailCfFiles) files.push_back({cf, "sendmail", SendmailText, true});
  files.push_back({kXinetdEntry, "xinetd", XinetdText, true, CreatedXinetdText});
  files.push_back({kInetdConf, "inet", InetdText});
  return files;
}

RestoreOutcome RestoreRewrittenFile(const RewrittenFile& file, const std::string& ins_folder,
                                    std::string* err) {
  const std::string backup = file.path + kBackupSuffix;
  struct stat st;
  std::string backup_text, current_text;
  if (lstat(backup.c_str(), &st) != 0 && errno == ENOENT) {
    const std::string created =
        file.created_text ? file.created_text(ins_folder) : file.installed_text("", ins_folder);
    if (!file.created_when_missing || !ReadRegularFile(file.path, &current_text) ||
        current_text != created) {
      return RestoreOutcome::kNoBackup;
    }
    if (unlink(file.path.c_str()) != 0) {
      *err = file.path + ": " + strerror(errno);
      return RestoreOutcome::kFailed;
    }
    return RestoreOutcome::kRestored;
  }
  if (!ReadRegularFile(backup, &backup_text)) {
    *err = backup + ": cannot be read as a regular file";
    return RestoreOutcome::kFailed;
  }
  if (!ReadRegularFile(file.path, &current_text) ||
      current_text != file.installed_text(backup_text, ins_folder)) {
    return RestoreOutcome::kChanged;
  }
  const std::string original = HostOriginal(file, ins_folder, current_text, backup, backup_text);
  if (rename(original.c_str(), file.path.c_str()) != 0) {
    *err = file.path + ": " + strerror(errno);
    return RestoreOutcome::kFailed;
  }
  return RestoreOutcome::kRestored;
}

RestoreOutcome RestoreHookedMc(const std::string& cf_path, const std::string& ins_folder,
                               std::string* err) {
  const std::string mc = McFileOf(cf_path);
  const std::string mc_backup = mc + kBackupSuffix;
  struct stat st;
  if (lstat(mc_backup.c_str(), &st) != 0 && errno == ENOENT) return RestoreOutcome::kNoBackup;
  std::string backup_text, current_text;
  if (!ReadRegularFile(mc_backup, &backup_text)) {
    *err = mc_backup + ": cannot be read as a regular file";
    return RestoreOutcome::kFailed;
  }
  if (!ReadRegularFile(mc, &current_text) || current_text != HookedMc(backup_text, ins_folder)) {
    return RestoreOutcome::kChanged;
  }
  // After an interrupted run the backup holds the hook too; the host's
  // own files are then the newest numbered copies without it.
  std::string suffix = kBackupSuffix;
  if (HasHook(backup_text)) {
    for (int n = 1; lstat((mc_backup + "." + std::to_string(n)).c_str(), &st) == 0; ++n) {
      std::string text;
      if (ReadRegularFile(mc_backup + "." + std::to_string(n), &text) && !HasHook(text))
        suffix = std::string(kBackupSuffix) + "." + std::to_string(n);
    }
  }
  if (rename((mc + suffix).c_str(), mc.c_str()) != 0) {
    *err = mc + ": " + strerror(errno);
    return RestoreOutcome::kFailed;
  }
  // sendmail.cf was made from the .mc: it goes back with it, whatever
  // regeneration it has seen since.
  const std::string cf_original = cf_path + suffix;
  if (lstat(cf_original.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
      rename(cf_original.c_str(), cf_path.c_str()) != 0) {
    *err = cf_path + ": " + strerror(errno);
    return RestoreOutcome::kFailed;
  }
  return RestoreOutcome::kRestored;
}
