#include "payload/quorvane/service_log.h"

#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

std::string ServiceLogPath(const std::string& ins_folder) {
  return ins_folder + "/log/quorvane.log";
}

ServiceLog::~ServiceLog() {
  if (fd_ >= 0) close(fd_);
}

bool ServiceLog::Open(const std::string& path, std::string* err) {
  fd_ =
      open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0640);
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
}
