#include "config/server_folders.h"

#include <errno.h>
#include <sys/stat.h>

#include <string_view>

namespace {

constexpr char kInstallationQuestion[] = "Enter installation folder for Quorvane server (Default: ";
constexpr char kRootQuestion[] = "Enter root folder for Quorvane server (Default: ";
constexpr char kOverwriteQuestion[] = "Do you want to overwrite it? ( Y/N ): ";

// stat follows links, so a link to a folder counts as the folder.
bool IsFolder(const char* path, struct stat* st) {
  return stat(path, st) == 0 && S_ISDIR(st->st_mode);
}

// A relative folder would be made inside the working folder, which goes away
// at the end of the run; the links and the configuration file would point
// nowhere.
const char* FullPathRefusal(std::string_view answer) {
  if (answer.empty() || answer[0] == '/') return nullptr;
  return "Illeagle value (only full paths are allowed).";
}

enum class Takeover { kTaken, kDeclined, kEndOfInput };

// The folder exists: asks whether to take it over, and sets its mode if so.
Takeover OfferTakeover(Console& console, InstallJournal& journal, const char* folder,
                       const struct stat& st) {
  console.LineEnd();
  console.PrintLine("Folder already exist.");
  switch (AskYesNo(console, kOverwriteQuestion)) {
    case YesNo::kYes:
      journal.ModeChanged(folder, st.st_mode & 07777);
      chmod(folder, 0755);  // a failure leaves the folder usable as it is
      return Takeover::kTaken;
    case YesNo::kEndOfInput:
      ReportEndOfInput(console);
      return Takeover::kEndOfInput;
    case YesNo::kNo:
    case YesNo::kOther:
      break;
  }
  return Takeover::kDeclined;
}

}  // namespace

bool AskInstallationFolder(Console& console, InstallJournal& journal, TextField& folder) {
  for (;;) {
    if (!AskText(console, kInstallationQuestion, folder, FullPathRefusal)) return false;
    if (mkdir(folder, 0755) == 0) {
      journal.Created(folder);
      return true;
    }
    int error = errno;
    struct stat st;
    if (error == EEXIST) {
      // Only a folder can be taken over; a file in the way is no installation folder.
      if (!IsFolder(folder, &st)) {
        error = ENOTDIR;
      } else {
        Takeover takeover = OfferTakeover(console, journal, folder, st);
        if (takeover == Takeover::kTaken) return true;
        if (takeover == Takeover::kEndOfInput) return false;
      }
    }
    console.PrintErrorText(error);
  }
}

bool AskRootFolder(Console& console, InstallJournal& journal, TextField& folder) {
  for (;;) {
    if (!AskText(console, kRootQuestion, folder, FullPathRefusal)) return false;
    if (mkdir(folder, 0777) == 0) {
      journal.Created(folder);
      return true;
    }
    int error = errno;
    struct stat st;
    if (error == EEXIST) {
      if (IsFolder(folder, &st)) return true;
      error = ENOTDIR;
    }
    console.PrintErrorText(error);
    // The failed path is no default worth keeping: the administrator must type one.
    folder[0] = '\0';
  }
}
