#include "payload/quorvane/pid_file.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include "common/layout.h"

std::string PidFilePath(const std::string& ins_folder) {
  return ins_folder + kLogSubfolder + "/" + kPidFile;
}

DaemonState ProbeDaemon(const std::string& path, pid_t* pid, std::string* err) {
  int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT) return DaemonState::kStopped;
    *err = path + ": " + strerror(errno);
    return DaemonState::kUnknown;
  }
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(fd);
    *err = path + ": not a regular file";
    return DaemonState::kUnknown;
  }
  if (flock(fd, LOCK_SH | LOCK_NB) == 0) {
    close(fd);
    return DaemonState::kStopped;
  }
  char text[32] = {};
  ssize_t n = pread(fd, text, sizeof text - 1, 0);
  close(fd);
  char* end = nullptr;
  long value = n > 0 ? strtol(text, &end, 10) : 0;
  if (value <= 1 || (end && *end != '\n' && *end != '\0')) {
    *err = path + ": locked, but holds no process id";
    return DaemonState::kUnknown;
  }
  *pid = static_cast<pid_t>(value);
  return DaemonState::kRunning;
}

StopResult StopDaemon(const std::string& path, std::string* err) {
  constexpr int kWaitTenths = 100;
  pid_t pid = 0;
  DaemonState state = ProbeDaemon(path, &pid, err);
  if (state == DaemonState::kUnknown) return StopResult::kFailed;
  const bool was_running = state == DaemonState::kRunning;
  if (was_running) {
    kill(pid, SIGTERM);
    for (int tenth = 0; state != DaemonState::kStopped; ++tenth) {
      if (tenth == kWaitTenths) {
        *err = "the server (pid " + std::to_string(pid) + ") did not stop";
        return StopResult::kFailed;
      }
      struct timespec tenth_second = {0, 100000000};
      nanosleep(&tenth_second, nullptr);
      state = ProbeDaemon(path, &pid, err);
    }
  }
  unlink(path.c_str());
  return was_running ? StopResult::kStopped : StopResult::kNotRunning;
}

PidFileLock::~PidFileLock() {
  if (fd_ >= 0) close(fd_);
}

bool PidFileLock::Acquire(const std::string& path, bool* held, std::string* err) {
  *held = false;
  fd_ = open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644);
  struct stat st;
  if (fd_ < 0 || fstat(fd_, &st) != 0) {
    *err = path + ": " + strerror(errno);
    return false;
  }
  if (!S_ISREG(st.st_mode)) {
    *err = path + ": not a regular file";
    return false;
  }
  if (flock(fd_, LOCK_EX | LOCK_NB) != 0) {
    *held = errno == EWOULDBLOCK;
    *err = path + ": " + strerror(errno);
    return false;
  }
  return true;
}

bool PidFileLock::WritePid(pid_t pid) {
  const std::string line = std::to_string(pid) + "\n";
  return ftruncate(fd_, 0) == 0 &&
         pwrite(fd_, line.data(), line.size(), 0) == static_cast<ssize_t>(line.size()) &&
         fsync(fd_) == 0;
}
