#include "config/server_folders.h"

#include <errno.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string_view>

#include "base/journaled_files.h"
#include "host/files.h"
#include "host/folder_safety.h"

namespace {

constexpr char kInstallationQuestion[] = "Enter installation folder for Quorvane server (Default: ";
constexpr char kRootQuestion[] = "Enter root folder for Quorvane server (Default: ";
constexpr char kOverwriteQuestion[] = "Do you want to overwrite it? ( Y/N ): ";
constexpr char kSystemFolderText[] = "Illeagle value (system folders are not allowed).";
constexpr char kNotRootsAloneText[] =
    "Illeagle value (only folders that root alone can write are allowed).";
constexpr char kLinkText[] = "Illeagle value (only real folders are allowed).";
constexpr char kBlankText[] = "Illeagle value (spaces are not allowed).";
constexpr char kInstallationFolderText[] =
    "Illeagle value (the root folder may not be, hold or lie in the installation folder).";

// FullPathRefusal, and with the mail part no blank or tab either: sendmail.cf,
// inetd.conf and the xinetd entry split their fields on them.
const char* MailFolderRefusal(std::string_view answer) {
  if (answer.find_first_of(" \t") != std::string_view::npos) return kBlankText;
  return FullPathRefusal(answer);
}

// Puts the field back as it was before a refused answer and prints the
// refusal the way a refused answer is printed; the question follows.
void Refuse(Console& console, TextField& folder, const TextField& before, const char* refusal) {
  StoreText(folder, before);
  console.LineEnd();
  console.Print(refusal);
}

enum class Takeover { kTaken, kDeclined, kEndOfInput };

// The folder exists: asks whether to take it over, and sets its mode if so.
Takeover OfferTakeover(Console& console, InstallJournal& journal, const char* folder) {
  console.LineEnd();
  console.PrintLine("Folder already exist.");
  switch (AskYesNo(console, kOverwriteFolderKey, kOverwriteQuestion)) {
    case YesNo::kYes: {
      mode_t old_mode;
      // A failure leaves the folder usable as it is.
      if (SetFolderMode(folder, 0755, &old_mode)) journal.ModeChanged(folder, old_mode);
      return Takeover::kTaken;
    }
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

bool AskInstallationFolder(Console& console, InstallJournal& journal, TextField& folder,
                           bool mail) {
  for (;;) {
    TextField before;
    StoreText(before, folder);
    if (!AskText(console, kFolderKey, kInstallationQuestion, folder,
                 mail ? MailFolderRefusal : FullPathRefusal))
      return false;
    if (IsSystemFolder(folder)) {
      Refuse(console, folder, before, kSystemFolderText);
      continue;
    }
    if (mkdir(folder, 0755) == 0) {
      if (OnlyRootCanChange(folder)) {
        journal.Created(folder);
        return true;
      }
      rmdir(folder);
      Refuse(console, folder, before, kNotRootsAloneText);
      continue;
    }
    int error = errno;
    struct stat st;
    if (error == EEXIST && lstat(folder, &st) == 0) {
      if (S_ISLNK(st.st_mode)) {
        Refuse(console, folder, before, kLinkText);
        continue;
      }
      // Only a folder can be taken over; a file in the way is no installation folder.
      if (!S_ISDIR(st.st_mode)) {
        error = ENOTDIR;
      } else if (!OnlyRootCanChange(folder)) {
        Refuse(console, folder, before, kNotRootsAloneText);
        continue;
      } else {
        Takeover takeover = OfferTakeover(console, journal, folder);
        if (takeover == Takeover::kTaken) return true;
        if (takeover == Takeover::kEndOfInput) return false;
      }
    }
    console.PrintErrorText(error);
  }
}

bool AskRootFolder(Console& console, InstallJournal& journal, TextField& folder,
                   const char* installation_folder) {
  for (;;) {
    TextField before;
    StoreText(before, folder);
    if (!AskText(console, kRootFolderKey, kRootQuestion, folder, FullPathRefusal)) return false;
    // The folder goes to the service's user, who could then rename what
    // root runs from it and put something else in its place.
    if (FoldersOverlap(folder, installation_folder)) {
      Refuse(console, folder, before, kInstallationFolderText);
      continue;
    }
    if (RootTrustsFolder(folder)) {
      Refuse(console, folder, before, kSystemFolderText);
      continue;
    }
    if (MakeFolderJournaled(folder, 0777, journal)) return true;
    int error = errno;
    struct stat st;
    if (error == EEXIST) {
      // stat follows links: a link to a folder serves, but is never given away.
      if (stat(folder, &st) == 0 && S_ISDIR(st.st_mode)) return true;
      error = ENOTDIR;
    }
    console.PrintErrorText(error);
    // The failed path is no default worth keeping: the administrator must type one.
    folder[0] = '\0';
  }
}
