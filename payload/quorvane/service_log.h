#pragma once

// The daemon's log, kServiceLogFile in the installation's log folder: one line an event, each
// starting with the local date and time. The file is opened before the
// daemon drops root and stays open. It never grows past its limit: once it
// does, the older half of it goes, so that refused connections, however
// many, cannot fill the disk.

#include <sys/types.h>

#include <string>

std::string ServiceLogPath(const std::string& ins_folder);

class ServiceLog {
 public:
  static constexpr off_t kDefaultLimit = 1024 * 1024;

  explicit ServiceLog(off_t limit = kDefaultLimit) : limit_(limit) {}
  ~ServiceLog();
  ServiceLog(const ServiceLog&) = delete;
  ServiceLog& operator=(const ServiceLog&) = delete;

  // Opens `path` for appending, never through a link. False with `err`.
  bool Open(const std::string& path, std::string* err);
  // Appends "YYYY-MM-DD HH:MM:SS event\n" in one write.
  void Write(const std::string& event);

 private:
  // Keeps the newest lines of the file, at most half its limit.
  void KeepNewestHalf(off_t size);

  off_t limit_;
  int fd_ = -1;
};
