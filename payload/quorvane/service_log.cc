#include "payload/quorvane/service_log.h"

#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include "common/layout.h"
#include "common/write_all.h"

namespace {

constexpr char kCutNote[] = "(older lines removed: the log is kept under its size limit)\n";

}  // namespace

std::string ServiceLogPath(const std::string& ins_folder) {
  return ins_folder + kLogSubfolder + "/" + kServiceLogFile;
}

ServiceLog::~ServiceLog() {
  if (fd_ >= 0) close(fd_);
}

bool ServiceLog::Open(const std::string& path, std::string* err) {
  // Read as well as written: its newest lines are kept when it is cut.
  fd_ = open(path.c_str(), O_RDWR | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0640);
  if (fd_ < 0) {
    *err = path + ": " + strerror(errno);
    return false;
  }
  return true;
}

void ServiceLog::Write(const std::string& event) {
  if (fd_ < 0) return;
  time_t now = time(nullptr);
  struct tm local = {};
  char stamp[32] = "";
  if (localtime_r(&now, &local)) strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S ", &local);
  const std::string line = stamp + event + "\n";
  // One write with O_APPEND keeps lines whole; a full disk loses the line.
  if (write(fd_, line.data(), line.size()) < 0) {
  }
  struct stat st;
  if (fstat(fd_, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > limit_)
    KeepNewestHalf(st.st_size);
}

void ServiceLog::KeepNewestHalf(off_t size) {
  std::string kept(static_cast<size_t>(limit_ / 2), '\0');
  const ssize_t got = pread(fd_, kept.data(), kept.size(), size - static_cast<off_t>(kept.size()));
  if (got <= 0) return;
  kept.resize(static_cast<size_t>(got));
  // From the first whole line on.
  const size_t first_line = kept.find('\n');
  kept.erase(0, first_line == std::string::npos ? kept.size() : first_line + 1);
  kept.insert(0, kCutNote);
  // O_APPEND writes at the end, which is the start once the file is cut.
  if (ftruncate(fd_, 0) != 0 || !WriteAll(fd_, kept)) {
  }
}
