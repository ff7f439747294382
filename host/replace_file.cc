#include "host/replace_file.h"

#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <utility>

#include "common/write_all.h"
#include "host/files.h"

namespace {

constexpr int kFreshNameAttempts = 100;

std::string RandomSuffix() {
  static constexpr char kLetters[] =
      "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  unsigned char bytes[6] = {};
  if (getrandom(bytes, sizeof bytes, 0) != sizeof bytes) {
    // The names are tried with O_EXCL; a weak choice only costs attempts.
    for (unsigned char& byte : bytes) byte = static_cast<unsigned char>(rand());
  }
  std::string suffix;
  for (unsigned char byte : bytes) suffix += kLetters[byte % (sizeof kLetters - 1)];
  return suffix;
}

}  // namespace

bool ReadWholeFile(const std::string& path, std::string* content, std::string* err,
                   struct stat* st) {
  int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return FailWithErrno(err, "can't open", path);
  struct stat opened;
  if (!StatRegularFile(fd, st ? st : &opened)) {
    FailWithErrno(err, "can't read", path);
    KeepingErrno([&] { close(fd); });
    return false;
  }
  content->clear();
  char buffer[65536];
  for (;;) {
    ssize_t got = read(fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      FailWithErrno(err, "can't read", path);
      KeepingErrno([&] { close(fd); });
      return false;
    }
    if (got == 0) break;
    content->append(buffer, static_cast<size_t>(got));
  }
  close(fd);
  return true;
}

bool CreateUnderFreshName(const std::string& prefix,
                          const std::function<bool(const std::string& path)>& create,
                          std::string* path) {
  for (int attempt = 0; attempt < kFreshNameAttempts; ++attempt) {
    const std::string candidate = prefix + RandomSuffix();
    if (create(candidate)) {
      *path = candidate;
      return true;
    }
    if (errno != EEXIST) return false;
  }
  return false;
}

ReplacementFile::ReplacementFile(std::string destination) : destination_(std::move(destination)) {}

ReplacementFile::~ReplacementFile() { Discard(); }

void ReplacementFile::Discard() {
  KeepingErrno([&] {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
    if (!committed_ && !temporary_path_.empty()) unlink(temporary_path_.c_str());
    temporary_path_.clear();
  });
}

bool ReplacementFile::Create(std::string* err) {
  Discard();
  committed_ = false;
  auto create = [this](const std::string& path) {
    fd_ = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    return fd_ >= 0;
  };
  if (!CreateUnderFreshName(destination_ + ".qvnew.", create, &temporary_path_))
    return FailWithErrno(err, "can't create a temporary file for", destination_);
  return true;
}

bool ReplacementFile::Write(std::string_view content, mode_t mode, std::string* err) {
  if (fd_ < 0) {
    errno = EBADF;
    return FailWithErrno(err, "can't write", destination_);
  }
  bool ok = WriteAll(fd_, content) && fsync(fd_) == 0 && fchmod(fd_, mode) == 0;
  if (!ok) return FailWithErrno(err, "can't write", temporary_path_);
  int fd = fd_;
  fd_ = -1;
  if (close(fd) != 0) return FailWithErrno(err, "can't write", temporary_path_);
  return true;
}

bool ReplacementFile::Commit(std::string* err, std::string* set_aside) {
  if (temporary_path_.empty() || fd_ >= 0) {
    errno = EBADF;
    return FailWithErrno(err, "can't replace", destination_);
  }
  if (set_aside) {
    if (!PutInPlace(temporary_path_, destination_, set_aside, err)) return false;
  } else if (rename(temporary_path_.c_str(), destination_.c_str()) != 0) {
    return FailWithErrno(err, "can't replace", destination_);
  }
  committed_ = true;
  temporary_path_.clear();
  return true;
}

bool ReplaceFile(const std::string& path, std::string_view content, mode_t mode,
                 std::string* set_aside, std::string* err) {
  ReplacementFile file(path);
  return file.Create(err) && file.Write(content, mode, err) && file.Commit(err, set_aside);
}

bool WriteNewFile(const std::string& path, std::string_view content, mode_t mode,
                  std::string* err) {
  if (IsSymbolicLink(path.c_str())) {
    errno = ELOOP;
    return FailWithErrno(err, "won't write through the link", path);
  }
  return ReplaceFile(path, content, mode, nullptr, err);
}

bool PutInPlace(const std::string& temporary, const std::string& path, std::string* set_aside,
                std::string* err) {
  set_aside->clear();
  // link() keeps a link as a link: what is set aside is the very entry.
  auto keep = [&path](const std::string& name) { return link(path.c_str(), name.c_str()) == 0; };
  if (PathExists(path.c_str()) && !CreateUnderFreshName(path + ".qvold.", keep, set_aside))
    return FailWithErrno(err, "can't set aside", path);
  if (rename(temporary.c_str(), path.c_str()) != 0) {
    FailWithErrno(err, "can't replace", path);
    KeepingErrno([&] {
      if (!set_aside->empty()) unlink(set_aside->c_str());
      set_aside->clear();
    });
    return false;
  }
  return true;
}

mode_t NewFileMode() {
  mode_t mask = umask(0);
  umask(mask);
  return 0664 & ~mask;
}
