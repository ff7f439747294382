// Build-time tool that turns the payload folder into the text the installer
// carries:
//   make_payload tar OUT.tar SOURCE_DIR MEMBER=MODE...
//     writes a GNU tar of the members in the order given; a member ending in
//     "/" is a folder, any other is read from SOURCE_DIR/<its last part>.
//   make_payload encode IN OUT
//     writes IN as Base64 in lines of 72 characters, without a final line
//     feed.
// Every output depends on the inputs alone, so two builds give the same bytes.

#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tools/base64.h"

namespace {

// The time every member and the archive itself carry: 2010-01-01 00:00 UTC.
constexpr int64_t kPackageTime = 1262304000;
constexpr size_t kBlock = 512;
// GNU tar writes records of 20 blocks.
constexpr size_t kRecord = 20 * kBlock;
constexpr size_t kLineLength = 72;

struct Member {
  std::string name;  // in the archive
  unsigned mode;
  bool folder;
  std::string content;
};

bool ReadFile(const std::string& path, std::string* content, std::string* err) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream buffer;
  buffer << file.rdbuf();
  if (!file) {
    *err = path + ": cannot read";
    return false;
  }
  *content = buffer.str();
  return true;
}

// Writes `content` to a temporary file beside `path` and renames it over
// `path`, so a failed run leaves no half-written output for the next build.
bool WriteFile(const std::string& path, const std::string& content, std::string* err) {
  std::string temp = path + ".tmp";
  {
    std::ofstream file(temp, std::ios::binary | std::ios::trunc);
    file.write(content.data(), static_cast<std::streamsize>(content.size()));
    file.close();
    if (!file) {
      *err = temp + ": cannot write";
      return false;
    }
  }
  if (rename(temp.c_str(), path.c_str()) != 0) {
    *err = path + ": cannot create";
    return false;
  }
  return true;
}

// Writes `value` as zero-padded octal filling `width` - 1 digits and a NUL.
void PutOctal(char* field, size_t width, uint64_t value) {
  for (size_t i = width - 1; i-- > 0;) {
    field[i] = static_cast<char>('0' + (value & 7));
    value >>= 3;
  }
  field[width - 1] = '\0';
}

// Returns the 512-byte GNU header of `member`, or "" when its name does not
// fit.
std::string Header(const Member& member) {
  std::string header(kBlock, '\0');
  if (member.name.size() > 100) return "";
  char* h = header.data();
  memcpy(h, member.name.data(), member.name.size());
  PutOctal(h + 100, 8, member.mode);
  PutOctal(h + 108, 8, 0);  // uid
  PutOctal(h + 116, 8, 0);  // gid
  PutOctal(h + 124, 12, member.content.size());
  PutOctal(h + 136, 12, kPackageTime);
  h[156] = member.folder ? '5' : '0';
  memcpy(h + 257, "ustar  ", 8);  // GNU magic and version, with the NUL
  memcpy(h + 265, "root", 4);
  memcpy(h + 297, "root", 4);
  // The sum is taken with the checksum field read as blanks.
  memset(h + 148, ' ', 8);
  unsigned sum = 0;
  for (unsigned char c : header) sum += c;
  PutOctal(h + 148, 7, sum);
  h[155] = ' ';
  return header;
}

bool BuildTar(const std::vector<Member>& members, std::string* tar, std::string* err) {
  for (const Member& member : members) {
    std::string header = Header(member);
    if (header.empty()) {
      *err = member.name + ": name too long";
      return false;
    }
    *tar += header;
    *tar += member.content;
    tar->append((kBlock - member.content.size() % kBlock) % kBlock, '\0');
  }
  tar->append(2 * kBlock, '\0');
  tar->append((kRecord - tar->size() % kRecord) % kRecord, '\0');
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
  if (member->folder) return true;
  std::string base = member->name.substr(member->name.rfind('/') + 1);
  return ReadFile(source_dir + "/" + base, &member->content, err);
}

bool MakeTar(int argc, char** argv, std::string* err) {
  std::string out = argv[2];
  std::vector<Member> members(static_cast<size_t>(argc - 4));
  for (int i = 4; i < argc; ++i) {
    if (!ParseMember(argv[3], argv[i], &members[static_cast<size_t>(i - 4)], err)) return false;
  }
  std::string tar;
  if (!BuildTar(members, &tar, err) || !WriteFile(out, tar, err)) return false;
  // gzip records the file's time in its header.
  struct timespec times[2] = {{kPackageTime, 0}, {kPackageTime, 0}};
  if (utimensat(AT_FDCWD, out.c_str(), times, 0) != 0) {
    *err = out + ": cannot set time";
    return false;
  }
  return true;
}

bool MakeText(const std::string& in, const std::string& out, std::string* err) {
  std::string bytes;
  return ReadFile(in, &bytes, err) && WriteFile(out, EncodeBase64(bytes, kLineLength), err);
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
