#include "host/extract.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include "common/remove_dir.h"
#include "common/write_all.h"
#include "host/command.h"
#include "host/decode_tool.h"
#include "host/files.h"
#include "host/private_folder.h"

namespace {

// The biggest pipe buffer an unprivileged process may ask for by default:
// the fewer writes, the sooner the text is through.
constexpr int kFeedPipeSize = 1 << 20;

// Hands the read-only text to the pipe by reference rather than by copy
// (the text is never written to, so the pipe may hold its pages); falls
// back to plain writes where the pipe does not take pages.
bool SpliceAll(int fd, const char* text, size_t size) {
  size_t done = 0;
  while (done < size) {
    struct iovec piece = {const_cast<char*>(text + done), size - done};
    ssize_t n = vmsplice(fd, &piece, 1, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return WriteAll(fd, text + done, size - done);
    if (n == 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

// How long to wait before looking again whether the decoder has opened
// its end of the named pipe.
constexpr int kOpenRetryMilliseconds = 10;

// Writes the package text exactly as stored, without a final line feed,
// into the named pipe `path` once the decoder has opened it, so the text
// never lies on disk beside the archive it decodes to. False when the
// decoder ended without opening the pipe or stopped reading early (the
// installer ignores SIGPIPE, so that shows as EPIPE).
bool FeedPackage(const char* path, std::string_view text, ShellCommand& decoder) {
  int fd;
  // Opening the writing end without blocking fails until the decoder has
  // opened the reading end; a decoder that ended never will.
  while ((fd = open(path, O_WRONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC)) < 0) {
    if (errno != ENXIO && errno != EINTR) return false;
    if (decoder.HasEnded()) return false;
    poll(nullptr, 0, kOpenRetryMilliseconds);
  }
  fcntl(fd, F_SETPIPE_SZ, kFeedPipeSize);  // a smaller pipe only takes more writes
  const bool fed = fcntl(fd, F_SETFL, 0) == 0 && SpliceAll(fd, text.data(), text.size());
  return close(fd) == 0 && fed;
}

unsigned char Refuse(std::string* refusal, const std::string& why) {
  if (refusal) *refusal = why;
  return 1;
}

}  // namespace

unsigned char Decode(const std::string& tool_folder, std::string_view package_text,
                     std::string* refusal) {
  // The decode tool runs as root, so it is judged before anything is made.
  DecodeTool tool(tool_folder);
  if (!tool.Refusal().empty()) return Refuse(refusal, tool.Refusal());
  RemoveDir(kWorkingFolder);  // a folder left by an earlier run goes first
  if (!MakePrivateFolder(kWorkingFolder)) return 1;
  RunDiscarded("cp " + QuoteForShell(tool.path()) + " /QVInstallation/decode");
  if (!tool.IsCopiedTo("/QVInstallation/decode")) return Refuse(refusal, kDecodeToolChanged);
  if (chdir(kWorkingFolder) != 0) return 1;
  // Each intermediate file goes as soon as the next exists: the working
  // folder never holds more than twice the package.
  if (mkfifo("qv.ecd", 0600) != 0) return 1;
  {
    ShellCommand decoder("./decode -u qv.ecd -o qv.tar.gz");
    if (decoder.started()) FeedPackage("qv.ecd", package_text, decoder);
  }  // waits for the decoder
  unlink("qv.ecd");
  unlink("decode");                   // its work is done
  RunDiscarded("gzip -d qv.tar.gz");  // gzip removes qv.tar.gz itself
  RunDiscarded("tar -xf qv.tar");
  unlink("qv.tar");
  if (!KeepFolderPrivate(kWorkingFolder)) return 1;
  // Whatever went wrong above shows as a missing package folder.
  return chdir(kPackageFolder) == 0 ? 0 : 1;
}
