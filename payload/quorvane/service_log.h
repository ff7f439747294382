#pragma once

// The daemon's log, InsFolder/log/quorvane.log: one line an event, each
// starting with the local date and time. The file is opened before the
// daemon drops root and stays open.

#include <string>

std::string ServiceLogPath(const std::string& ins_folder);

class ServiceLog {
 public:
  ServiceLog() = default;
  ~ServiceLog();
  ServiceLog(const ServiceLog&) = delete;
  ServiceLog& operator=(const ServiceLog&) = delete;

  // Opens `path` for appending, never through a link. False with `err`.
  bool Open(const std::string& path, std::string* err);
  // Appends "YYYY-MM-DD HH:MM:SS event\n" in one write.
  void Write(const std::string& event);

 private:
  int fd_ = -1;
};
