// Rules this file keeps:
// - the daemon is judged by the lock on its pid file, never by the file's
//   presence or by a name in the process table;
// - `start` reports success only once the daemon has bound its port and
//   taken the lock; every earlier failure is reported by `start` itself;
// - the daemon holds no descriptor of its caller: the installer reads the
//   start command's output to its end.

#include "payload/quorvane/service_control.h"

#include <errno.h>
#include <fcntl.h>
#include <pwd.h>
#include <signal.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <string>

#include "common/layout.h"
#include "payload/quorvane/pid_file.h"
#include "payload/quorvane/server.h"
#include "payload/quorvane/service_log.h"
#include "payload/qvdns/soa_record.h"
#include "payload/qvsml/access_list.h"
#include "payload/qvsml/give_up_root.h"

namespace {

constexpr char kServiceUser[] = "quorvane";

int Complain(const std::string& message, int code) {
  fprintf(stderr, "quorvane: %s\n", message.c_str());
  return code;
}

std::string ZoneDefaultsText(const ServiceConf& conf) {
  ZoneDefaults defaults{conf.ns1, conf.Refresh, conf.Retry, conf.Expire, conf.ttl};
  return RenderSoaRecord(defaults, ZoneSerial(time(nullptr)));
}

bool LoadSettings(ServerSettings* settings, std::string* err) {
  ServiceConf conf;
  if (!ReadServiceConf(kConfFile, &conf, err)) return false;
  ServerSettings loaded;
  if (!ReadAccessList(AccessListPath(conf.InsFolder), &loaded.access, err)) return false;
  loaded.port = conf.Port;
  loaded.idle_seconds = conf.AutoDisconnectTime;
  loaded.zone_defaults = ZoneDefaultsText(conf);
  *settings = std::move(loaded);
  return true;
}

// Gives up root for the service user, when there is one.
bool DropRoot(std::string* err) {
  if (!getpwnam(kServiceUser) || getuid() != 0) return true;
  return BecomeAccount(kServiceUser, err);
}

// In the daemon: detaches from the caller's terminal and descriptors.
void Detach() {
  setsid();
  if (chdir("/") != 0) {
  }
  umask(027);
  int null_fd = open("/dev/null", O_RDWR | O_CLOEXEC);
  if (null_fd >= 0) {
    for (int fd = 0; fd < 3; ++fd) dup2(null_fd, fd);
    if (null_fd > 2) close(null_fd);
  }
}

// The daemon's own life, after the second fork; never returns.
[[noreturn]] void RunDaemon(int listener, ServerSettings settings, PidFileLock& lock,
                            ServiceLog& log, int ready_fd) {
  Detach();
  std::string err;
  if (!lock.WritePid(getpid())) {
    log.Write(std::string("cannot write the pid file: ") + strerror(errno));
    _exit(kExitFailure);
  }
  if (!DropRoot(&err)) {
    log.Write(err);
    _exit(kExitFailure);
  }
  log.Write("started on port " + std::to_string(settings.port));
  if (write(ready_fd, "R", 1) != 1) {
  }
  close(ready_fd);
  Serve(listener, std::move(settings), LoadSettings, log);
  log.Write("stopped");
  _exit(kExitSuccess);
}

// Waits for the daemon's word that it runs: true once it has said so.
bool WaitUntilReady(int ready_fd) {
  char answer = 0;
  ssize_t n;
  while ((n = read(ready_fd, &answer, 1)) < 0 && errno == EINTR) {
  }
  return n == 1 && answer == 'R';
}

}  // namespace

int StartService(const ServiceConf& conf) {
  const std::string pid_path = PidFilePath(conf.InsFolder);
  ServerSettings settings;
  std::string err;
  if (!LoadSettings(&settings, &err)) return Complain(err, kExitNotConfigured);
  ServiceLog log;
  if (!log.Open(ServiceLogPath(conf.InsFolder), &err)) return Complain(err, kExitFailure);
  PidFileLock lock;
  bool held = false;
  if (!lock.Acquire(pid_path, &held, &err)) {
    if (!held) return Complain(err, kExitFailure);
    printf("Quorvane server is already running\n");
    return kExitSuccess;
  }
  const int listener = OpenListener(settings.port, &err);
  if (listener < 0) return Complain(err, kExitFailure);

  int ready[2];
  if (pipe2(ready, O_CLOEXEC) != 0) return Complain(strerror(errno), kExitFailure);
  BlockServerSignals();
  fflush(stdout);
  // The daemon is this program going on, not another one started: it keeps
  // the bound listener, the held lock and the open log, so it forks where
  // every other program is started through Spawn. Twice, so that the
  // daemon is nobody's child once the middle process has ended.
  pid_t child = fork();
  if (child < 0) return Complain(strerror(errno), kExitFailure);
  if (child == 0) {
    close(ready[0]);
    if (fork() == 0) RunDaemon(listener, std::move(settings), lock, log, ready[1]);
    _exit(kExitSuccess);
  }
  close(ready[1]);
  close(listener);
  // Closing this copy of the descriptor leaves the lock to the daemon's.
  while (waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
  }
  if (!WaitUntilReady(ready[0])) {
    close(ready[0]);
    return Complain("the server did not start; see " + ServiceLogPath(conf.InsFolder),
                    kExitFailure);
  }
  close(ready[0]);
  printf("Quorvane server started on port %u\n", conf.Port);
  return kExitSuccess;
}

int StopService(const ServiceConf& conf) {
  std::string err;
  switch (StopDaemon(PidFilePath(conf.InsFolder), &err)) {
    case StopResult::kStopped:
      printf("Quorvane server stopped\n");
      return kExitSuccess;
    case StopResult::kNotRunning:
      printf("Quorvane server is not running\n");
      return kExitSuccess;
    case StopResult::kFailed:
      break;
  }
  return Complain(err, kExitFailure);
}

int RestartService(const ServiceConf& conf) {
  int stopped = StopService(conf);
  return stopped == kExitSuccess ? StartService(conf) : stopped;
}

int ServiceStatus(const ServiceConf& conf) {
  pid_t pid = 0;
  std::string err;
  switch (ProbeDaemon(PidFilePath(conf.InsFolder), &pid, &err)) {
    case DaemonState::kRunning:
      printf("Quorvane server is running (pid %d)\n", static_cast<int>(pid));
      return kExitSuccess;
    case DaemonState::kStopped:
      printf("Quorvane server is not running\n");
      return kStatusNotRunning;
    case DaemonState::kUnknown:
      break;
  }
  return Complain(err, kStatusUnknown);
}
