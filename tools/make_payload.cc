// Build-time tool that turns the payload folder into the text the installer
// carries:
//   make_payload tar OUT.tar SOURCE_DIR MEMBER=MODE...
//     writes a GNU tar of the members in the order given; a member ending in
//     "/" is a folder, any other is read from SOURCE_DIR/<its last part>.
//   make_payload encode IN OUT
//     writes IN as Base64 in lines of 72 characters, without a final line
//     feed.
// Every output depends on the inputs alone, so two builds give the same bytes.
// Both commands stream through fixed buffers: the memory they use does not
// grow with the package.

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "common/write_all.h"
#include "tools/base64.h"
#include "tools/descriptor.h"

namespace {

// The time every member and the archive itself carry: 2010-01-01 00:00 UTC.
constexpr int64_t kPackageTime = 1262304000;
constexpr size_t kBlock = 512;
// GNU tar writes records of 20 blocks.
constexpr size_t kRecord = 20 * kBlock;
constexpr size_t kLineLength = 72;
// Bytes encoded per read: 1 MiB in, about 1.4 MiB out.
constexpr size_t kChunkBytes = 1 << 20;
constexpr size_t kCopySize = 1 << 20;

std::string SystemFault(const std::string& path, const char* what) {
  return path + ": " + what + ": " + strerror(errno);
}

// Fills `buffer` as far as the file allows; returns the bytes read or -1.
ssize_t ReadFull(int fd, char* buffer, size_t size) {
  size_t done = 0;
  while (done < size) {
    ssize_t n = read(fd, buffer + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return -1;
    if (n == 0) break;
    done += static_cast<size_t>(n);
  }
  return static_cast<ssize_t>(done);
}

// An output written to a temporary file beside its path and renamed over it
// by Commit, so a failed run leaves no half-written output for the next build.
class Output {
 public:
  explicit Output(const std::string& path) : path_(path), temp_(path + ".tmp") {}
  ~Output() {
    if (!committed_) unlink(temp_.c_str());
  }
  bool Open(std::string* err) {
    fd_ = open(temp_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd_ >= 0) return true;
    *err = SystemFault(temp_, "cannot create");
    return false;
  }
  bool Write(const char* data, size_t size, std::string* err) {
    if (WriteAll(fd_, data, size)) return true;
    *err = SystemFault(temp_, "cannot write");
    return false;
  }
  bool Commit(std::string* err) {
    int fd = fd_;
    fd_ = -1;
    if (close(fd) != 0) {
      *err = SystemFault(temp_, "cannot write");
      return false;
    }
    if (rename(temp_.c_str(), path_.c_str()) != 0) {
      *err = SystemFault(path_, "cannot create");
      return false;
    }
    committed_ = true;
    return true;
  }

 private:
  std::string path_;
  std::string temp_;
  int fd_ = -1;
  bool committed_ = false;
};

// ---- tar ----

struct Member {
  std::string name;  // in the archive
  unsigned mode;
  bool folder;
  std::string source;  // the file it is read from, for a file
};

// Writes `value` as zero-padded octal filling `width` - 1 digits and a NUL.
void PutOctal(char* field, size_t width, uint64_t value) {
  for (size_t i = width - 1; i-- > 0;) {
    field[i] = static_cast<char>('0' + (value & 7));
    value >>= 3;
  }
  field[width - 1] = '\0';
}

// Fills the 512-byte GNU header of `member`, `size` bytes long; false when
// its name does not fit.
bool PutHeader(const Member& member, uint64_t size, char* h) {
  if (member.name.size() > 100) return false;
  memset(h, 0, kBlock);
  memcpy(h, member.name.data(), member.name.size());
  PutOctal(h + 100, 8, member.mode);
  PutOctal(h + 108, 8, 0);  // uid
  PutOctal(h + 116, 8, 0);  // gid
  PutOctal(h + 124, 12, size);
  PutOctal(h + 136, 12, kPackageTime);
  h[156] = member.folder ? '5' : '0';
  memcpy(h + 257, "ustar  ", 8);  // GNU magic and version, with the NUL
  memcpy(h + 265, "root", 4);
  memcpy(h + 297, "root", 4);
  // The sum is taken with the checksum field read as blanks.
  memset(h + 148, ' ', 8);
  unsigned sum = 0;
  for (size_t i = 0; i < kBlock; ++i) sum += static_cast<unsigned char>(h[i]);
  PutOctal(h + 148, 7, sum);
  h[155] = ' ';
  return true;
}

bool ParseMember(const std::string& source_dir, const std::string& arg, Member* member,
                 std::string* err) {
  size_t equals = arg.rfind('=');
  char* end = nullptr;
  if (equals == std::string::npos || equals == 0) {
    *err = arg + ": expected MEMBER=MODE";
    return false;
  }
  member->name = arg.substr(0, equals);
  member->mode = static_cast<unsigned>(strtoul(arg.c_str() + equals + 1, &end, 8));
  if (*end || end == arg.c_str() + equals + 1 || member->mode > 07777) {
    *err = arg + ": bad mode";
    return false;
  }
  member->folder = member->name.back() == '/';
  if (!member->folder)
    member->source = source_dir + "/" + member->name.substr(member->name.rfind('/') + 1);
  return true;
}

// Appends one member, its header then its content padded to whole blocks;
// `written` counts the archive's bytes.
bool AddMember(const Member& member, char* buffer, Output& out, uint64_t* written,
               std::string* err) {
  Descriptor file(member.folder ? -1 : open(member.source.c_str(), O_RDONLY | O_CLOEXEC));
  uint64_t size = 0;
  if (!member.folder) {
    struct stat info;
    if (file.get() < 0 || fstat(file.get(), &info) != 0) {
      *err = SystemFault(member.source, "cannot read");
      return false;
    }
    size = static_cast<uint64_t>(info.st_size);
  }
  if (!PutHeader(member, size, buffer)) {
    *err = member.name + ": name too long";
    return false;
  }
  if (!out.Write(buffer, kBlock, err)) return false;
  uint64_t copied = 0;
  while (copied < size) {
    ssize_t n = ReadFull(file.get(), buffer, kCopySize);
    if (n <= 0 || copied + static_cast<uint64_t>(n) > size) {
      *err = member.source + ": changed while read";
      return false;
    }
    // The last piece is padded to a whole block.
    size_t length = static_cast<size_t>(n);
    size_t padded = (length + kBlock - 1) / kBlock * kBlock;
    memset(buffer + length, 0, padded - length);
    copied += length;
    if (copied < size && padded != length) {
      *err = member.source + ": changed while read";
      return false;
    }
    if (!out.Write(buffer, padded, err)) return false;
    *written += padded;
  }
  if (!member.folder && ReadFull(file.get(), buffer, 1) != 0) {
    *err = member.source + ": changed while read";
    return false;
  }
  *written += kBlock;
  return true;
}

bool MakeTar(int argc, char** argv, std::string* err) {
  std::string out_path = argv[2];
  std::vector<Member> members(static_cast<size_t>(argc - 4));
  for (int i = 4; i < argc; ++i) {
    if (!ParseMember(argv[3], argv[i], &members[static_cast<size_t>(i - 4)], err)) return false;
  }
  auto buffer = std::make_unique<char[]>(kCopySize + kBlock);
  Output out(out_path);
  if (!out.Open(err)) return false;
  uint64_t written = 0;
  for (const Member& member : members) {
    if (!AddMember(member, buffer.get(), out, &written, err)) return false;
  }
  // Two zero blocks end the archive, then zeros fill the last record.
  uint64_t end = written + 2 * kBlock;
  uint64_t total = (end + kRecord - 1) / kRecord * kRecord;
  memset(buffer.get(), 0, kRecord);
  if (!out.Write(buffer.get(), static_cast<size_t>(total - written), err)) return false;
  if (!out.Commit(err)) return false;
  // gzip records the file's time in its header.
  struct timespec times[2] = {{kPackageTime, 0}, {kPackageTime, 0}};
  if (utimensat(AT_FDCWD, out_path.c_str(), times, 0) != 0) {
    *err = SystemFault(out_path, "cannot set time");
    return false;
  }
  return true;
}

// ---- Base64 ----

bool MakeText(const std::string& in_path, const std::string& out_path, std::string* err) {
  Descriptor in(open(in_path.c_str(), O_RDONLY | O_CLOEXEC));
  if (in.get() < 0) {
    *err = SystemFault(in_path, "cannot read");
    return false;
  }
  Base64Encoder encoder(kLineLength);
  auto bytes = std::make_unique<char[]>(kChunkBytes);
  auto text = std::make_unique<char[]>(encoder.MaxOutput(kChunkBytes));
  Output out(out_path);
  if (!out.Open(err)) return false;
  for (;;) {
    ssize_t n = ReadFull(in.get(), bytes.get(), kChunkBytes);
    if (n < 0) {
      *err = SystemFault(in_path, "cannot read");
      return false;
    }
    if (n == 0) break;
    const size_t size = encoder.Feed(reinterpret_cast<const uint8_t*>(bytes.get()),
                                     static_cast<size_t>(n), text.get());
    if (!out.Write(text.get(), size, err)) return false;
  }
  if (!out.Write(text.get(), encoder.Finish(text.get()), err)) return false;
  return out.Commit(err);
}

}  // namespace

int main(int argc, char** argv) {
  std::string command = argc > 1 ? argv[1] : "";
  std::string err;
  bool ok;
  if (command == "tar" && argc >= 5) {
    ok = MakeTar(argc, argv, &err);
  } else if (command == "encode" && argc == 4) {
    ok = MakeText(argv[2], argv[3], &err);
  } else {
    fprintf(stderr,
            "usage: make_payload tar OUT.tar SOURCE_DIR MEMBER=MODE...\n"
            "       make_payload encode IN OUT\n");
    return 2;
  }
  if (!ok) {
    fprintf(stderr, "make_payload: %s\n", err.c_str());
    return 1;
  }
  return 0;
}
