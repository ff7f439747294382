// Copies the service's programs and libraries from the package folder (the
// current directory) into the installation's bin folder and links them where
// the layout names them. A copy is a new file put in place in one step,
// with a mode that only root can write, and judged by its effect: the whole
// member is there. Whatever a copy or a link replaces is set aside for the
// rollback.

#include <errno.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "base/settings.h"
#include "common/layout.h"
#include "host/files.h"
#include "host/replace_file.h"

namespace {

enum class LinkKind {
  kNone,
  // An existing path is reported and may be replaced; a refusal fails the stage.
  kAsked,
  // An existing path is left alone without a word; nothing fails the stage.
  kQuiet,
};

struct Step {
  const char* file;
  const char* link;  // nullptr when the copy is not linked
  LinkKind kind;
  bool mail_only;
  unsigned char failure;           // result of the stage when an asked link is not made
  const AnswerKey* overwrite_key;  // names the question about an asked link in the way
};

const Step kSteps[] = {
    {kQvdnsMember, kQvdnsLink, LinkKind::kAsked, false, 2, &kOverwriteLibqvdnsKey},
    {kQvsmlMember, kQvsmlLink, LinkKind::kAsked, false, 3, &kOverwriteLibqvsmlKey},
    {kRuntimeMember, kRuntimeLink, LinkKind::kQuiet, true, 0, nullptr},
    {kVpop3dMember, nullptr, LinkKind::kNone, true, 0, nullptr},
    {kVdeliverMember, nullptr, LinkKind::kNone, true, 0, nullptr},
    {kQuorvaneMember, kQuorvaneCommand, LinkKind::kAsked, false, 3, &kOverwriteQuorvaneKey},
    {kQvremoveMember, nullptr, LinkKind::kNone, false, 0, nullptr},
};

// Root runs and reads what lands in bin: nobody else may write it, whatever
// the member's mode in the package.
constexpr mode_t kRootOnlyBits = 0755;

// The stage's result when a copy fails: a failure stage that leaves the
// service command's link alone, as a refused link does.
constexpr unsigned char kCopyFailure = 3;

// Copies package member `file` to `copy` in one step and checks that the
// whole member arrived. A link at `copy` is refused (ELOOP).
bool CopyMember(const char* file, const std::string& copy, InstallJournal& journal,
                std::string* err) {
  std::string content;
  struct stat member;
  if (!ReadWholeFile(file, &content, err) || stat(file, &member) != 0) return false;
  if (IsSymbolicLink(copy.c_str())) {
    errno = ELOOP;
    return FailWithErrno(err, "won't write through the link", copy);
  }
  std::string set_aside;
  if (!ReplaceFile(copy, content, member.st_mode & kRootOnlyBits, &set_aside, err)) return false;
  if (set_aside.empty())
    journal.Created(copy);
  else
    journal.Replaced(copy, set_aside);
  struct stat landed;
  if (lstat(copy.c_str(), &landed) != 0 || !S_ISREG(landed.st_mode) ||
      static_cast<size_t>(landed.st_size) != content.size()) {
    errno = EIO;
    return FailWithErrno(err, "incomplete copy", copy);
  }
  return true;
}

// Puts a new link to `target` in place of whatever is at `link`, setting
// that aside. False (nothing changed) when it cannot.
bool ReplaceWithLink(const std::string& target, const char* link, InstallJournal& journal) {
  auto make_link = [&target](const std::string& name) {
    return symlink(target.c_str(), name.c_str()) == 0;
  };
  std::string temporary, set_aside, err;
  if (!CreateUnderFreshName(std::string(link) + ".qvnew.", make_link, &temporary)) return false;
  if (!PutInPlace(temporary, link, &set_aside, &err)) {
    unlink(temporary.c_str());
    return false;
  }
  journal.Replaced(link, set_aside);
  return true;
}

}  // namespace

unsigned char CGeneral::CopyFiles(unsigned char mail) {
  const std::string bin_folder = std::string(InsFolder) + kBinSubfolder + "/";
  for (const Step& step : kSteps) {
    if (step.mail_only && !mail) continue;

    const std::string copy = bin_folder + step.file;
    std::string err;
    if (!CopyMember(step.file, copy, journal_, &err)) {
      const int error = errno;
      console_.PrintLine(err);
      errno = error;
      return step.failure != 0 ? step.failure : kCopyFailure;
    }

    if (step.kind == LinkKind::kNone) continue;
    for (;;) {
      if (symlink(copy.c_str(), step.link) == 0) {
        journal_.Created(step.link);
        break;
      }
      const int error = errno;
      if (step.kind == LinkKind::kQuiet) {
        if (error != EEXIST) {
          console_.Print("Can't create symbolic link for ");
          console_.PrintLine(step.file);
        }
        break;
      }
      console_.Print("Can't create symbolic link for ");
      console_.PrintLine(step.file);
      if (error == EEXIST) {
        console_.Print(step.link);
        console_.PrintLine(" already exist");
        // End of input counts as a refusal, like any answer but Y. A path
        // that cannot be replaced (a folder) brings the question back.
        if (AskYesNo(console_, *step.overwrite_key, "Do you want to overwrite it? (Y/N): ") ==
            YesNo::kYes) {
          if (ReplaceWithLink(copy, step.link, journal_)) break;
          continue;
        }
      }
      errno = error;
      return step.failure;
    }
  }
  return 0;
}
