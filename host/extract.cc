#include "host/extract.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "host/command.h"
#include "host/decode_tool.h"
#include "host/private_folder.h"
#include "host/remove_dir.h"
#include "payload/payload.h"

namespace {

// Writes the payload text exactly as stored, without a final line feed.
bool WritePayload(const char* path) {
  int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0664);
  if (fd < 0) return false;
  const char* next = kPayloadText;
  size_t left = kPayloadTextSize;
  while (left > 0) {
    ssize_t n = write(fd, next, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      close(fd);
      return false;
    }
    next += n;
    left -= static_cast<size_t>(n);
  }
  return close(fd) == 0;
}

unsigned char Refuse(const char** refusal, const char* why) {
  if (refusal) *refusal = why;
  return 1;
}

}  // namespace

unsigned char Decode(const char** refusal) {
  // The decode tool ships beside the installer, in the folder it was started
  // from; it runs as root, so it is judged before anything is made.
  DecodeTool tool("decode");
  if (tool.Refusal()) return Refuse(refusal, tool.Refusal());
  RemoveDir(kWorkingFolder);  // a folder left by an earlier run goes first
  if (!MakePrivateFolder(kWorkingFolder)) return 1;
  RunDiscarded("cp decode /QVInstallation/decode");
  if (!tool.IsCopiedTo("/QVInstallation/decode")) return Refuse(refusal, kDecodeToolChanged);
  if (chdir(kWorkingFolder) != 0) return 1;
  if (!WritePayload("qv.ecd")) return 1;
  RunDiscarded("./decode -u qv.ecd -o qv.tar.gz");
  RunDiscarded("gzip -d qv.tar.gz");
  RunDiscarded("tar -xf qv.tar");
  if (!KeepFolderPrivate(kWorkingFolder)) return 1;
  // Whatever went wrong above shows as a missing package folder.
  return chdir(kPackageFolder) == 0 ? 0 : 1;
}
