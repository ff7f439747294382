#include "host/replace_file.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <utility>
#include <vector>

namespace {

// Fills `err` from errno and keeps errno as the caller's failure cause.
bool Fail(std::string* err, std::string_view what, const std::string& path) {
  const int error = errno;
  if (err) *err = std::string(what) + " " + path + ": " + strerror(error);
  errno = error;
  return false;
}

// Runs cleanup without letting it change errno.
template <typename Cleanup>
void KeepingErrno(Cleanup cleanup) {
  const int error = errno;
  cleanup();
  errno = error;
}

bool WriteAll(int fd, std::string_view data) {
  while (!data.empty()) {
    ssize_t written = write(fd, data.data(), data.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data.remove_prefix(static_cast<size_t>(written));
  }
  return true;
}

// mkstemp on `prefix` followed by six random characters.
int MakeTemporary(const std::string& prefix, std::string* path) {
  std::vector<char> name(prefix.begin(), prefix.end());
  for (char c : std::string_view("XXXXXX")) name.push_back(c);
  name.push_back('\0');
  int fd = mkstemp(name.data());
  if (fd >= 0) *path = name.data();
  return fd;
}

// A fresh name beside `prefix` that holds a hard link of `file`.
bool LinkUnderTemporaryName(const std::string& file, const std::string& prefix, std::string* path) {
  for (int attempt = 0; attempt < 8; ++attempt) {
    std::string candidate;
    int fd = MakeTemporary(prefix, &candidate);
    if (fd < 0) return false;
    close(fd);
    unlink(candidate.c_str());
    if (link(file.c_str(), candidate.c_str()) == 0) {
      *path = candidate;
      return true;
    }
    if (errno != EEXIST) return false;
  }
  return false;
}

bool CopyUnderTemporaryName(const std::string& file, const std::string& prefix, std::string* path,
                            std::string* err) {
  int in = open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return Fail(err, "can't open", file);
  struct stat st;
  if (fstat(in, &st) != 0) {
    Fail(err, "can't stat", file);
    KeepingErrno([&] { close(in); });
    return false;
  }
  std::string candidate;
  int out = MakeTemporary(prefix, &candidate);
  if (out < 0) {
    Fail(err, "can't create a temporary file for", prefix);
    KeepingErrno([&] { close(in); });
    return false;
  }
  bool ok = true;
  char buffer[65536];
  for (;;) {
    ssize_t got = read(in, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      ok = Fail(err, "can't read", file);
      break;
    }
    if (got == 0) break;
    if (!WriteAll(out, std::string_view(buffer, static_cast<size_t>(got)))) {
      ok = Fail(err, "can't write", candidate);
      break;
    }
  }
  if (ok && fchmod(out, st.st_mode & 07777) != 0)
    ok = Fail(err, "can't set the mode of", candidate);
  if (ok && fsync(out) != 0) ok = Fail(err, "can't write", candidate);
  if (ok && fchown(out, st.st_uid, st.st_gid) != 0) {
    // The copy keeps root as its owner; its content is what matters.
  }
  KeepingErrno([&] { close(in); });
  if (close(out) != 0 && ok) ok = Fail(err, "can't write", candidate);
  if (!ok) {
    KeepingErrno([&] { unlink(candidate.c_str()); });
    return false;
  }
  *path = candidate;
  return true;
}

}  // namespace

bool ReadWholeFile(const std::string& path, std::string* content, std::string* err) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return Fail(err, "can't open", path);
  content->clear();
  char buffer[65536];
  for (;;) {
    ssize_t got = read(fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      Fail(err, "can't read", path);
      KeepingErrno([&] { close(fd); });
      return false;
    }
    if (got == 0) break;
    content->append(buffer, static_cast<size_t>(got));
  }
  close(fd);
  return true;
}

bool BackupFile(const std::string& file, const std::string& backup, std::string* err) {
  const std::string prefix = backup + ".";
  std::string temporary;
  if (!LinkUnderTemporaryName(file, prefix, &temporary) &&
      !CopyUnderTemporaryName(file, prefix, &temporary, err))
    return false;
  if (rename(temporary.c_str(), backup.c_str()) != 0) {
    Fail(err, "can't rename to", backup);
    KeepingErrno([&] { unlink(temporary.c_str()); });
    return false;
  }
  return true;
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
  fd_ = MakeTemporary(destination_ + ".qvnew.", &temporary_path_);
  if (fd_ < 0) return Fail(err, "can't create a temporary file for", destination_);
  return true;
}

bool ReplacementFile::Write(std::string_view content, mode_t mode, std::string* err) {
  if (fd_ < 0) {
    errno = EBADF;
    return Fail(err, "can't write", destination_);
  }
  bool ok = WriteAll(fd_, content) && fsync(fd_) == 0 && fchmod(fd_, mode) == 0;
  if (!ok) return Fail(err, "can't write", temporary_path_);
  int fd = fd_;
  fd_ = -1;
  if (close(fd) != 0) return Fail(err, "can't write", temporary_path_);
  return true;
}

bool ReplacementFile::Commit(std::string* err) {
  if (temporary_path_.empty() || fd_ >= 0) {
    errno = EBADF;
    return Fail(err, "can't replace", destination_);
  }
  if (rename(temporary_path_.c_str(), destination_.c_str()) != 0)
    return Fail(err, "can't replace", destination_);
  committed_ = true;
  temporary_path_.clear();
  return true;
}

mode_t NewFileMode() {
  mode_t mask = umask(0);
  umask(mask);
  return 0664 & ~mask;
}
