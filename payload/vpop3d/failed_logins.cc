#include "payload/vpop3d/failed_logins.h"

#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <iterator>
#include <vector>

#include "common/layout.h"
#include "common/write_all.h"

namespace {

// A record that holds more than this is cut to its newest lines: a flood
// from many addresses cannot grow it without end.
constexpr size_t kMostLines = 10000;

struct Failure {
  time_t when;
  std::string address;
};

bool ReadRecord(int fd, std::vector<Failure>* failures) {
  std::string text;
  char buffer[8192];
  for (off_t at = 0;;) {
    const ssize_t n = pread(fd, buffer, sizeof buffer, at);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) break;
    text.append(buffer, static_cast<size_t>(n));
    at += n;
  }
  for (size_t start = 0; start < text.size();) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(start, end - start);
    start = end + 1;
    const size_t space = line.find(' ');
    if (space == std::string::npos) continue;  // a line cut short by a crash
    failures->push_back(
        {static_cast<time_t>(strtoll(line.c_str(), nullptr, 10)), line.substr(space + 1)});
  }
  return true;
}

bool WriteRecord(int fd, const std::vector<Failure>& failures) {
  std::string text;
  for (const Failure& failure : failures)
    text += std::to_string(static_cast<long long>(failure.when)) + " " + failure.address + "\n";
  return ftruncate(fd, 0) == 0 && lseek(fd, 0, SEEK_SET) == 0 &&
         WriteAll(fd, text.data(), text.size());
}

}  // namespace

FailedLogins::~FailedLogins() {
  if (fd_ >= 0) close(fd_);
}

std::string FailedLogins::PathIn(const std::string& ins_folder) {
  return ins_folder + kLogSubfolder + "/" + kFailedLoginsFile;
}

bool FailedLogins::Open(const std::string& path, std::string* err) {
  fd_ = open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
  struct stat st;
  if (fd_ < 0 || fstat(fd_, &st) != 0) {
    *err = path + ": " + strerror(errno);
    return false;
  }
  if (!S_ISREG(st.st_mode) || st.st_uid != geteuid() || (st.st_mode & 077) != 0) {
    *err = path + ": not a private regular file";
    close(fd_);
    fd_ = -1;
    return false;
  }
  return true;
}

template <typename Edit>
bool FailedLogins::EditLines(time_t now, Edit edit) {
  if (fd_ < 0) return false;
  while (flock(fd_, LOCK_EX) != 0) {
    if (errno != EINTR) return false;
  }
  std::vector<Failure> failures, recent;
  bool ok = ReadRecord(fd_, &failures);
  for (const Failure& failure : failures) {
    if (failure.when > now - FailedLogins::kWindowSeconds && failure.when <= now)
      recent.push_back(failure);
  }
  if (recent.size() > kMostLines) recent.erase(recent.begin(), recent.end() - kMostLines);
  ok = ok && edit(recent) && WriteRecord(fd_, recent);
  flock(fd_, LOCK_UN);
  return ok;
}

bool FailedLogins::Reserve(const std::string& address, time_t now) {
  return EditLines(now, [&](std::vector<Failure>& recent) {
    int count = 0;
    for (const Failure& failure : recent) count += failure.address == address;
    if (count >= kFailuresAllowed) return false;
    recent.push_back({now, address});
    return true;
  });
}

void FailedLogins::Forgive(const std::string& address, time_t now) {
  EditLines(now, [&](std::vector<Failure>& recent) {
    for (auto it = recent.rbegin(); it != recent.rend(); ++it) {
      if (it->address == address && it->when == now) {
        recent.erase(std::next(it).base());
        break;
      }
    }
    return true;
  });
}
