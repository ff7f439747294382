// decode -u IN -o OUT: turns the Base64 text in IN into the bytes of OUT.
// OUT appears only when all of IN decoded; until then the bytes go to a
// temporary file beside it.

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <string>

#include "common/write_all.h"
#include "tools/base64.h"
#include "tools/descriptor.h"

namespace {

constexpr size_t kReadSize = 1 << 20;

std::string SystemFault(const std::string& path, const char* what) {
  return path + ": " + what + ": " + strerror(errno);
}

// Decodes all of `in` into `out_fd`. Returns false with `*err` set on a
// read, write or decoding fault.
bool DecodeStream(int in_fd, const std::string& in, int out_fd, const std::string& out,
                  std::string* err) {
  auto text = std::make_unique<char[]>(kReadSize);
  auto bytes = std::make_unique<uint8_t[]>(Base64Decoder::MaxOutput(kReadSize));
  Base64Decoder decoder;
  for (;;) {
    ssize_t n = read(in_fd, text.get(), kReadSize);
    if (n < 0) {
      if (errno == EINTR) continue;
      *err = SystemFault(in, "cannot read");
      return false;
    }
    if (n == 0) break;
    size_t size = 0;
    if (!decoder.Feed(text.get(), static_cast<size_t>(n), bytes.get(), &size, err)) {
      *err = in + ": " + *err;
      return false;
    }
    if (!WriteAll(out_fd, bytes.get(), size)) {
      *err = SystemFault(out, "cannot write");
      return false;
    }
  }
  if (!decoder.Finish(err)) {
    *err = in + ": " + *err;
    return false;
  }
  return true;
}

// Returns true once `out`, a new or regular file, holds what `in` decodes
// to; on failure neither `out` nor a temporary file is left changed or
// behind.
bool DecodeFile(const std::string& in, const std::string& out, std::string* err) {
  Descriptor in_fd(open(in.c_str(), O_RDONLY | O_CLOEXEC));
  if (in_fd.get() < 0) {
    *err = SystemFault(in, "cannot open");
    return false;
  }
  // OUT is replaced, not written into: a device or pipe named as OUT (say
  // /dev/null) would otherwise be swapped for a plain file.
  struct stat out_stat;
  if (stat(out.c_str(), &out_stat) == 0 && !S_ISREG(out_stat.st_mode)) {
    *err = out + ": not a regular file";
    return false;
  }
  size_t slash = out.rfind('/');
  std::string folder = slash == std::string::npos ? "" : out.substr(0, slash + 1);
  std::string name = slash == std::string::npos ? out : out.substr(slash + 1);
  std::string temp = folder + "." + name + ".XXXXXX";
  Descriptor out_fd(mkstemp(temp.data()));
  if (out_fd.get() < 0) {
    *err = SystemFault(temp, "cannot create");
    return false;
  }
  // mkstemp makes the file 0600; OUT is to look like any file created here.
  mode_t mask = umask(0);
  umask(mask);
  bool ok = true;
  if (fchmod(out_fd.get(), 0666 & ~mask) != 0) {
    *err = SystemFault(temp, "cannot set mode");
    ok = false;
  }
  ok = ok && DecodeStream(in_fd.get(), in, out_fd.get(), out, err);
  if (!out_fd.Close() && ok) {
    *err = SystemFault(out, "cannot write");
    ok = false;
  }
  if (ok && rename(temp.c_str(), out.c_str()) != 0) {
    *err = SystemFault(out, "cannot create");
    ok = false;
  }
  if (!ok) unlink(temp.c_str());
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  constexpr char kUsage[] =
      "usage: decode -u IN -o OUT\n"
      "       decode --help | --version\n";
  if (argc == 2 && strcmp(argv[1], "--help") == 0) {
    fputs(kUsage, stdout);
    return 0;
  }
  if (argc == 2 && strcmp(argv[1], "--version") == 0) {
    printf("decode %s\n", QV_VERSION);
    return 0;
  }
  const char* in = nullptr;
  const char* out = nullptr;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (strcmp(argv[i], "-u") == 0 && !in) {
      in = argv[i + 1];
    } else if (strcmp(argv[i], "-o") == 0 && !out) {
      out = argv[i + 1];
    } else {
      in = nullptr;
      break;
    }
  }
  if (argc != 5 || !in || !out || !*in || !*out) {
    fputs(kUsage, stderr);
    return 2;
  }
  std::string err;
  if (!DecodeFile(in, out, &err)) {
    fprintf(stderr, "decode: %s\n", err.c_str());
    return 1;
  }
  return 0;
}
