#include "host/extract.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <sys/wait.h>
#include <unistd.h>

#include "common/remove_dir.h"
#include "host/command.h"
#include "host/decode_tool.h"
#include "host/files.h"
#include "host/private_folder.h"
#include "payload/payload.h"

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
    if (n < 0) return WriteAll(fd, std::string_view(text + done, size - done));
    if (n == 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

// In the feeding child: writes the payload text exactly as stored, without
// a final line feed, into the named pipe `path` once the decoder opens it.
[[noreturn]] void FeedPayload(const char* path) {
  int fd = open(path, O_WRONLY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) _exit(1);
  fcntl(fd, F_SETPIPE_SZ, kFeedPipeSize);
  _exit(SpliceAll(fd, kPayloadText, kPayloadTextSize) && close(fd) == 0 ? 0 : 1);
}

// Makes `path` a named pipe that a child process fills with the payload
// text, so the text never lies on disk beside the archive it decodes to.
// Returns the child's id, or -1 when none was started.
pid_t StartPayloadFeed(const char* path) {
  if (mkfifo(path, 0600) != 0) return -1;
  // The child must not run the installer's signal handlers, not even
  // between fork and resetting them; it dies with the installer.
  sigset_t all, saved;
  sigfillset(&all);
  sigprocmask(SIG_SETMASK, &all, &saved);
  pid_t parent = getpid();
  pid_t pid = fork();
  if (pid == 0) {
    for (int signal_number = 1; signal_number < NSIG; ++signal_number)
      signal(signal_number, SIG_DFL);
    signal(SIGPIPE, SIG_IGN);  // a decoder that stops early ends the feed by EPIPE
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(1);
    sigprocmask(SIG_SETMASK, &saved, nullptr);
    FeedPayload(path);
  }
  sigprocmask(SIG_SETMASK, &saved, nullptr);
  if (pid < 0) unlink(path);  // a pipe nobody fills would hold the decoder forever
  return pid;
}

// Ends the feed, whether the decoder read it all or never opened the pipe.
void StopPayloadFeed(pid_t pid) {
  if (pid <= 0) return;
  kill(pid, SIGKILL);
  while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
  }
}

unsigned char Refuse(std::string* refusal, const std::string& why) {
  if (refusal) *refusal = why;
  return 1;
}

}  // namespace

unsigned char Decode(const std::string& tool_folder, std::string* refusal) {
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
  pid_t feed = StartPayloadFeed("qv.ecd");
  if (feed < 0) return 1;
  RunDiscarded("./decode -u qv.ecd -o qv.tar.gz");
  StopPayloadFeed(feed);
  unlink("qv.ecd");
  unlink("decode");                   // its work is done
  RunDiscarded("gzip -d qv.tar.gz");  // gzip removes qv.tar.gz itself
  RunDiscarded("tar -xf qv.tar");
  unlink("qv.tar");
  if (!KeepFolderPrivate(kWorkingFolder)) return 1;
  // Whatever went wrong above shows as a missing package folder.
  return chdir(kPackageFolder) == 0 ? 0 : 1;
}
