#include "sandbox/sandbox.h"

#include <dirent.h>
#include <fcntl.h>
#include <ftw.h>
#include <limits.h>
#include <net/if.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <set>
#include <utility>

#include "sandbox/change_set.h"
#include "sandbox/layer_files.h"

namespace {

// Sent on the control pipe instead of a signal number: kill everything now.
constexpr int kKillAll = -1;
// How long a sandbox may take to report after a timeout before it is killed hard.
constexpr auto kReportGrace = std::chrono::seconds(5);
// How often a run with RunOptions::forward_signal looks at it.
constexpr int kForwardPollMs = 100;

const char* const kSandboxPath = "/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin";

std::string ErrnoText(const std::string& what) { return what + ": " + strerror(errno); }

// Path components without empty parts and ".", keeping "..".
std::vector<std::string> SplitPath(const std::string& path) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    std::string part = path.substr(start, end - start);
    if (!part.empty() && part != ".") parts.push_back(part);
    start = end + 1;
  }
  return parts;
}

std::string JoinPath(const std::vector<std::string>& parts) {
  if (parts.empty()) return "/";
  std::string path;
  for (const std::string& part : parts) path += "/" + part;
  return path;
}

bool WriteAll(int fd, const std::string& data) {
  size_t done = 0;
  while (done < data.size()) {
    ssize_t n = write(fd, data.data() + done, data.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

int RemoveEntry(const char* path, const struct stat*, int, FTW*) {
  if (remove(path) != 0) fprintf(stderr, "sandbox: cannot remove %s: %s\n", path, strerror(errno));
  return 0;
}

// Runs cp -a to copy a folder's content; false with err on failure.
bool CopyTree(const std::string& from, const std::string& to, std::string* err) {
  pid_t pid = fork();
  if (pid < 0) {
    *err = ErrnoText("fork");
    return false;
  }
  if (pid == 0) {
    std::string source = from + "/.";
    execl("/bin/cp", "cp", "-a", "--", source.c_str(), to.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    *err = "cannot copy layer " + from;
    return false;
  }
  return true;
}

bool BringLoopbackUp(std::string* err) {
  int sock = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (sock < 0) {
    *err = ErrnoText("socket");
    return false;
  }
  struct ifreq request = {};
  strncpy(request.ifr_name, "lo", IFNAMSIZ - 1);
  bool ok = ioctl(sock, SIOCGIFFLAGS, &request) == 0;
  request.ifr_flags |= IFF_UP | IFF_RUNNING;
  ok = ok && ioctl(sock, SIOCSIFFLAGS, &request) == 0;
  if (!ok) *err = ErrnoText("bringing lo up");
  close(sock);
  return ok;
}

// A clean, fixed environment, so runs do not depend on the caller's.
void SetSandboxEnvironment() {
  std::vector<std::pair<std::string, std::string>> kept;
  for (const char* name : {"ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS"}) {
    if (const char* value = getenv(name)) kept.emplace_back(name, value);
  }
  clearenv();
  setenv("PATH", kSandboxPath, 1);
  setenv("HOME", "/root", 1);
  setenv("USER", "root", 1);
  setenv("LOGNAME", "root", 1);
  setenv("SHELL", "/bin/sh", 1);
  setenv("TERM", "dumb", 1);
  for (const auto& [name, value] : kept) setenv(name.c_str(), value.c_str(), 1);
}

std::string ShellQuote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) {
    if (c == '\'') {
      quoted += "'\\''";
    } else {
      quoted += c;
    }
  }
  return quoted + "'";
}

std::string InitScript(const std::string& name, const std::string& output_command) {
  return "#!/bin/sh\necho \"" + name + " $*\" >> " + kInitLog + "\n" + output_command;
}

void ParseReport(const std::string& report, RunResult* result) {
  std::string errors;
  bool have_status = false;
  size_t start = 0;
  while (start < report.size()) {
    size_t end = report.find('\n', start);
    if (end == std::string::npos) end = report.size();
    std::string line = report.substr(start, end - start);
    start = end + 1;
    if (line.size() < 2) continue;
    std::string rest = line.substr(2);
    switch (line[0]) {
      case 'E':
        errors += rest + "\n";
        break;
      case 'S': {
        int status = atoi(rest.c_str());
        have_status = true;
        if (WIFEXITED(status)) result->exit_status = WEXITSTATUS(status);
        if (WIFSIGNALED(status)) result->term_signal = WTERMSIG(status);
        break;
      }
      case '+':
        result->changes.created.push_back(rest);
        break;
      case '~':
        result->changes.changed.push_back(rest);
        break;
      case '-':
        result->changes.deleted.push_back(rest);
        break;
    }
  }
  if (!errors.empty()) {
    fprintf(stderr, "%s", errors.c_str());
    result->output = errors;
    result->exit_status = -1;
  } else if (!have_status && !result->timed_out) {
    result->output = "sandbox: no report from the sandbox\n" + result->output;
    result->exit_status = -1;
  }
}

}  // namespace

Sandbox::Sandbox() {
  char scratch[] = "/tmp/qvsandbox.XXXXXX";
  if (!mkdtemp(scratch)) {
    fprintf(stderr, "sandbox: mkdtemp: %s\n", strerror(errno));
    abort();
  }
  scratch_dir_ = scratch;
  upper_dir_ = scratch_dir_ + "/upper";
  for (const char* sub : {"/upper", "/work", "/merged", "/below", "/layers"}) {
    mkdir((scratch_dir_ + sub).c_str(), 0755);
  }
}

Sandbox::~Sandbox() {
  nftw(scratch_dir_.c_str(), RemoveEntry, 32, FTW_DEPTH | FTW_PHYS | FTW_MOUNT);
}

std::optional<Sandbox::Found> Sandbox::QueryLayer(size_t index, const std::string& path) const {
  Found found;
  if (index == 1) {
    if (path == "/") {
      found.st.st_mode = S_IFDIR | 0755;
      return found;
    }
    auto it = seeds_.find(path);
    if (it == seeds_.end()) return std::nullopt;
    const SeedEntry& entry = it->second;
    found.seed = &entry;
    found.whiteout = entry.kind == SeedKind::kWhiteout;
    mode_t type = entry.kind == SeedKind::kDir       ? S_IFDIR
                  : entry.kind == SeedKind::kSymlink ? S_IFLNK
                  : entry.kind == SeedKind::kFile    ? S_IFREG
                                                     : S_IFCHR;
    found.st.st_mode = type | (entry.mode & 07777);
    found.st.st_uid = entry.uid;
    found.st.st_gid = entry.gid;
    found.st.st_nlink = 1;
    found.st.st_size = static_cast<off_t>(entry.data.size());
    return found;
  }
  bool host = index == LayerCount() - 1;
  std::string root = index == 0 ? upper_dir_ : host ? "" : layers_[layers_.size() - (index - 1)];
  found.disk_path = root.empty() ? path : (path == "/" ? root : root + path);
  if (lstat(found.disk_path.c_str(), &found.st) != 0) return std::nullopt;
  found.whiteout = IsWhiteout(found.st);
  found.opaque = !host && S_ISDIR(found.st.st_mode) && IsOpaque(found.disk_path);
  return found;
}

std::optional<Sandbox::Found> Sandbox::Lookup(const std::string& path, size_t first) const {
  std::vector<std::string> parts = SplitPath(path);
  std::vector<size_t> active;
  for (size_t i = first; i < LayerCount(); ++i) active.push_back(i);
  if (parts.empty()) return QueryLayer(LayerCount() - 1, "/");
  std::string prefix;
  for (size_t p = 0; p < parts.size(); ++p) {
    prefix += "/" + parts[p];
    std::optional<Found> top;
    size_t top_pos = 0;
    for (size_t a = 0; a < active.size(); ++a) {
      top = QueryLayer(active[a], prefix);
      if (top) {
        top_pos = a;
        break;
      }
    }
    if (!top || top->whiteout) return std::nullopt;
    if (p + 1 == parts.size()) return top;
    if (!S_ISDIR(top->st.st_mode)) return std::nullopt;
    std::vector<size_t> next = {active[top_pos]};
    for (size_t a = top_pos + 1; a < active.size() && !top->opaque; ++a) {
      std::optional<Found> lower = QueryLayer(active[a], prefix);
      if (!lower) continue;
      if (lower->whiteout || !S_ISDIR(lower->st.st_mode)) break;
      next.push_back(active[a]);
      if (lower->opaque) break;
    }
    active = next;
  }
  return std::nullopt;
}

std::string Sandbox::Resolve(const std::string& path, bool follow_last, size_t first) const {
  std::vector<std::string> split = SplitPath(path);
  std::deque<std::string> todo(split.begin(), split.end());
  std::vector<std::string> done;
  int links = 0;
  while (!todo.empty()) {
    std::string part = todo.front();
    todo.pop_front();
    if (part == "..") {
      if (!done.empty()) done.pop_back();
      continue;
    }
    done.push_back(part);
    if (todo.empty() && !follow_last) break;
    std::optional<Found> found = Lookup(JoinPath(done), first);
    if (!found || !S_ISLNK(found->st.st_mode)) continue;
    if (++links > 40) return "";
    std::optional<std::string> target =
        found->seed ? std::optional<std::string>(found->seed->data) : ReadLink(found->disk_path);
    if (!target) return "";
    done.pop_back();
    if (!target->empty() && (*target)[0] == '/') done.clear();
    std::vector<std::string> target_parts = SplitPath(*target);
    todo.insert(todo.begin(), target_parts.begin(), target_parts.end());
  }
  return JoinPath(done);
}

void Sandbox::AddSeedParents(const std::string& path) {
  std::vector<std::string> parts = SplitPath(path);
  std::string prefix;
  for (size_t p = 0; p + 1 < parts.size(); ++p) {
    prefix += "/" + parts[p];
    auto it = seeds_.find(prefix);
    if (it != seeds_.end() && it->second.kind == SeedKind::kDir) continue;
    SeedEntry dir;
    dir.kind = SeedKind::kDir;
    dir.mode = 0755;
    // Matching the folder below keeps the merged view of it unchanged.
    std::optional<Found> below = Lookup(prefix, 2);
    if (below && S_ISDIR(below->st.st_mode)) {
      dir.mode = below->st.st_mode & 07777;
      dir.uid = below->st.st_uid;
      dir.gid = below->st.st_gid;
    }
    seeds_[prefix] = dir;
  }
}

void Sandbox::AddSeed(const std::string& path, SeedEntry entry) {
  std::string literal = Resolve(path, false, 1);
  if (literal.empty() || literal == "/") {
    fprintf(stderr, "sandbox: cannot seed %s\n", path.c_str());
    abort();
  }
  AddSeedParents(literal);
  seeds_[literal] = std::move(entry);
}

void Sandbox::Seed(const std::string& path, const std::string& content, mode_t mode) {
  SeedEntry entry;
  entry.kind = SeedKind::kFile;
  entry.data = content;
  entry.mode = mode;
  AddSeed(path, entry);
}

void Sandbox::SeedDir(const std::string& path, mode_t mode) {
  SeedEntry entry;
  entry.kind = SeedKind::kDir;
  entry.mode = mode;
  AddSeed(path, entry);
}

void Sandbox::SeedSymlink(const std::string& path, const std::string& target) {
  SeedEntry entry;
  entry.kind = SeedKind::kSymlink;
  entry.data = target;
  entry.mode = 0777;
  AddSeed(path, entry);
}

void Sandbox::SeedRemoved(const std::string& path) {
  SeedEntry entry;
  entry.kind = SeedKind::kWhiteout;
  entry.mode = 0;
  AddSeed(path, entry);
}

bool Sandbox::SeedOwner(const std::string& path, uid_t uid, gid_t gid) {
  auto it = seeds_.find(Resolve(path, false, 1));
  if (it == seeds_.end() || it->second.kind == SeedKind::kWhiteout) return false;
  it->second.uid = uid;
  it->second.gid = gid;
  return true;
}

void Sandbox::SeedCopy(const std::string& path, const std::string& host_path) {
  struct stat st;
  if (lstat(host_path.c_str(), &st) != 0) {
    fprintf(stderr, "sandbox: cannot seed a copy of %s: %s\n", host_path.c_str(), strerror(errno));
    abort();
  }
  if (S_ISLNK(st.st_mode)) {
    SeedSymlink(path, ReadLink(host_path).value_or(""));
  } else if (S_ISDIR(st.st_mode)) {
    SeedDir(path, st.st_mode & 07777);
    for (const std::string& name : DirNames(host_path)) {
      SeedCopy(path + "/" + name, host_path + "/" + name);
    }
  } else {
    std::optional<std::string> content = ReadWholeFile(host_path);
    if (!content) {
      fprintf(stderr, "sandbox: cannot read %s\n", host_path.c_str());
      abort();
    }
    Seed(path, *content, st.st_mode & 07777);
  }
  SeedOwner(path, st.st_uid, st.st_gid);
}

void Sandbox::SeedInitScripts() {
  for (const char* name : {"named", "sendmail", "xinetd", "inet"}) {
    Seed(std::string("/etc/rc.d/init.d/") + name,
         InitScript(name, std::string("echo \"") + name + " $*: done\"\n"), 0755);
  }
}

void Sandbox::SeedInitScript(const std::string& name, const std::string& output) {
  std::string command = output.empty() ? "" : "printf '%s' " + ShellQuote(output) + "\n";
  Seed("/etc/rc.d/init.d/" + name, InitScript(name, command), 0755);
}

void Sandbox::AddLayer(const std::string& host_dir) { layers_.push_back(host_dir); }

std::optional<std::string> Sandbox::ReadAfter(const std::string& path) const {
  return ReadFrom(path, 0);
}

std::optional<std::string> Sandbox::ReadBefore(const std::string& path) const {
  return ReadFrom(path, 1);
}

std::optional<std::string> Sandbox::ReadFrom(const std::string& path, size_t first) const {
  std::string literal = Resolve(path, true, first);
  if (literal.empty()) return std::nullopt;
  std::optional<Found> found = Lookup(literal, first);
  if (!found || !S_ISREG(found->st.st_mode)) return std::nullopt;
  if (found->seed) return found->seed->data;
  return ReadWholeFile(found->disk_path);
}

std::optional<struct stat> Sandbox::StatAfter(const std::string& path) const {
  std::string literal = Resolve(path, false, 0);
  if (literal.empty()) return std::nullopt;
  std::optional<Found> found = Lookup(literal, 0);
  if (!found) return std::nullopt;
  return found->st;
}

std::optional<std::string> Sandbox::LinkTargetAfter(const std::string& path) const {
  std::string literal = Resolve(path, false, 0);
  if (literal.empty()) return std::nullopt;
  std::optional<Found> found = Lookup(literal, 0);
  if (!found || !S_ISLNK(found->st.st_mode)) return std::nullopt;
  if (found->seed) return found->seed->data;
  return ReadLink(found->disk_path);
}

bool Sandbox::WriteSeeds(const std::string& root, std::string* err) const {
  // The map is sorted, so every folder comes before what it holds.
  for (const auto& [path, entry] : seeds_) {
    std::string full = root + path;
    bool ok = true;
    switch (entry.kind) {
      case SeedKind::kDir:
        ok = (mkdir(full.c_str(), entry.mode) == 0 || errno == EEXIST) &&
             chmod(full.c_str(), entry.mode) == 0;
        break;
      case SeedKind::kFile: {
        int fd = open(full.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, entry.mode);
        ok = fd >= 0 && WriteAll(fd, entry.data) && fchmod(fd, entry.mode) == 0;
        if (fd >= 0) close(fd);
        break;
      }
      case SeedKind::kSymlink:
        ok = symlink(entry.data.c_str(), full.c_str()) == 0;
        break;
      case SeedKind::kWhiteout:
        ok = mknod(full.c_str(), S_IFCHR | 0, makedev(0, 0)) == 0;
        break;
    }
    ok = ok && lchown(full.c_str(), entry.uid, entry.gid) == 0;
    if (!ok) {
      *err = ErrnoText("seeding " + path);
      return false;
    }
  }
  return true;
}

bool Sandbox::MountLayers(const RunOptions& run, std::string* err) {
  if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
    *err = ErrnoText("making / private");
    return false;
  }
  std::string layers = scratch_dir_ + "/layers";
  if (mount("qvseeds", layers.c_str(), "tmpfs", 0, "mode=0755") != 0) {
    *err = ErrnoText("mounting the seed tmpfs");
    return false;
  }
  std::string seeds = layers + "/seeds";
  if (mkdir(seeds.c_str(), 0755) != 0) {
    *err = ErrnoText("mkdir " + seeds);
    return false;
  }
  if (!WriteSeeds(seeds, err)) return false;
  // Layers on the same file system as / cannot be stacked over it; a copy
  // in the tmpfs can.
  std::string lower = seeds;
  for (size_t i = layers_.size(); i-- > 0;) {
    std::string copy = layers + "/" + std::to_string(i);
    if (mkdir(copy.c_str(), 0755) != 0) {
      *err = ErrnoText("mkdir " + copy);
      return false;
    }
    if (!CopyTree(layers_[i], copy, err)) return false;
    lower += ":" + copy;
  }
  lower += ":/";
  std::string merged = scratch_dir_ + "/merged";
  // Without redirects or metacopy, the upper folder alone tells what changed.
  std::string options = "lowerdir=" + lower + ",upperdir=" + upper_dir_ +
                        ",workdir=" + scratch_dir_ +
                        "/work,redirect_dir=off,metacopy=off,index=off";
  if (mount("overlay", merged.c_str(), "overlay", 0, options.c_str()) != 0) {
    *err = ErrnoText("mounting the overlay (" + options + ")");
    return false;
  }
  std::string below = scratch_dir_ + "/below";
  if (mount("overlay", below.c_str(), "overlay", MS_RDONLY, ("lowerdir=" + lower).c_str()) != 0) {
    *err = ErrnoText("mounting the view below the upper folder");
    return false;
  }
  if (mount("proc", (merged + "/proc").c_str(), "proc", MS_NOSUID | MS_NODEV | MS_NOEXEC,
            nullptr) != 0) {
    *err = ErrnoText("mounting /proc");
    return false;
  }
  if (mount("/dev", (merged + "/dev").c_str(), nullptr, MS_BIND | MS_REC, nullptr) != 0) {
    *err = ErrnoText("binding /dev");
    return false;
  }
  if (!run.keep_host_name && sethostname(kSandboxHostName, strlen(kSandboxHostName)) != 0) {
    *err = ErrnoText("sethostname");
    return false;
  }
  return run.share_network || BringLoopbackUp(err);
}

void Sandbox::SandboxInit(const std::vector<std::string>& argv, const RunOptions& options,
                          int stdin_fd, int stdout_fd, int control_fd, int report_fd) {
  std::string err;
  if (!MountLayers(options, &err)) {
    WriteAll(report_fd, "E sandbox: " + err + "\n");
    _exit(1);
  }
  sigset_t child_set;
  sigemptyset(&child_set);
  sigaddset(&child_set, SIGCHLD);
  sigprocmask(SIG_BLOCK, &child_set, nullptr);
  int signal_fd = signalfd(-1, &child_set, SFD_CLOEXEC);
  std::string merged = scratch_dir_ + "/merged";

  // Starts one program of the run in the view; -1 when it cannot be forked.
  auto start = [&](const std::vector<std::string>& program_argv) {
    pid_t pid = fork();
    if (pid != 0) return pid;
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    for (int sig = 1; sig < NSIG; ++sig) signal(sig, SIG_DFL);
    if (chroot(merged.c_str()) != 0 || chdir(options.working_dir.c_str()) != 0) {
      WriteAll(report_fd, "E sandbox: " + ErrnoText("entering " + options.working_dir) + "\n");
      _exit(127);
    }
    if (!options.console) dup2(stdin_fd, 0);
    dup2(stdout_fd, 1);
    close_range(3, ~0U, 0);
    SetSandboxEnvironment();
    std::vector<char*> args;
    for (const std::string& arg : program_argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    execvp(args[0], args.data());
    fprintf(stderr, "sandbox: cannot run %s: %s\n", args[0], strerror(errno));
    _exit(127);
  };

  pid_t program = start(argv);
  if (program < 0) {
    WriteAll(report_fd, "E sandbox: " + ErrnoText("fork") + "\n");
    _exit(1);
  }
  // The programs that follow run while what the first one started still runs.
  size_t next_then = 0;
  bool interrupted = false;

  int status = 0;
  bool ended = false;
  bool control_open = true;
  while (!ended) {
    struct pollfd fds[2] = {{signal_fd, POLLIN, 0}, {control_fd, POLLIN, 0}};
    if (poll(fds, control_open ? 2 : 1, -1) < 0 && errno != EINTR) break;
    if (fds[0].revents) {
      struct signalfd_siginfo info;
      if (read(signal_fd, &info, sizeof info) < 0) {
        // Nothing to do: the reaping below runs anyway.
      }
    }
    // As PID 1, reap every orphan too; the first program's status is the result.
    for (;;) {
      int child_status;
      pid_t pid = waitpid(-1, &child_status, WNOHANG);
      if (pid <= 0) break;
      if (pid != program) continue;
      if (next_then == 0) status = child_status;
      program = -1;
      if (!interrupted && next_then < options.then.size())
        program = start(options.then[next_then++]);
      if (program < 0) ended = true;
    }
    if (control_open && fds[1].revents) {
      int sig = 0;
      ssize_t n = read(control_fd, &sig, sizeof sig);
      if (n == static_cast<ssize_t>(sizeof sig) && sig > 0) {
        if (program > 0) kill(program, sig);
        interrupted = true;
      } else if (n == static_cast<ssize_t>(sizeof sig) && sig == kKillAll) {
        kill(-1, SIGKILL);
      } else if (n <= 0) {
        control_open = false;
      }
    }
  }
  close(stdin_fd);
  close(stdout_fd);
  // Daemons the program left behind must not write while the upper folder is read.
  kill(-1, SIGKILL);
  for (;;) {
    if (waitpid(-1, nullptr, 0) < 0 && errno != EINTR) break;
  }
  ChangeSet changes;
  CollectChanges(upper_dir_, scratch_dir_ + "/below", &changes);
  std::string report = "S " + std::to_string(status) + "\n";
  for (const std::string& path : changes.created) report += "+ " + path + "\n";
  for (const std::string& path : changes.changed) report += "~ " + path + "\n";
  for (const std::string& path : changes.deleted) report += "- " + path + "\n";
  WriteAll(report_fd, report);
  _exit(0);
}

RunResult Sandbox::Run(const std::vector<std::string>& argv, const RunOptions& options) {
  RunResult result;
  if (argv.empty()) {
    result.output = "sandbox: nothing to run\n";
    return result;
  }
  int in[2], out[2], control[2], report[2];
  if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0 || pipe2(control, O_CLOEXEC) != 0 ||
      pipe2(report, O_CLOEXEC) != 0) {
    result.output = "sandbox: " + ErrnoText("pipe") + "\n";
    return result;
  }
  struct sigaction ignore = {}, old_pipe = {};
  ignore.sa_handler = SIG_IGN;
  sigaction(SIGPIPE, &ignore, &old_pipe);

  pid_t test_pid = getpid();
  pid_t outer = fork();
  if (outer == 0) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != test_pid) _exit(1);
    close(in[1]);
    close(out[0]);
    close(control[1]);
    close(report[0]);
    // The terminal's interrupt reaches the whole process group: the program
    // is to get it and clean up, not lose its sandbox under it.
    if (options.console) {
      for (int sig : {SIGINT, SIGQUIT, SIGHUP}) signal(sig, SIG_IGN);
    }
    int flags = CLONE_NEWNS | CLONE_NEWPID | CLONE_NEWUTS;
    if (!options.share_network) flags |= CLONE_NEWNET;
    if (unshare(flags) != 0) {
      WriteAll(report[1], "E sandbox: " + ErrnoText("unshare") + "\n");
      _exit(1);
    }
    pid_t init = fork();
    if (init == 0) {
      prctl(PR_SET_PDEATHSIG, SIGKILL);
      SandboxInit(argv, options, in[0], out[1], control[0], report[1]);
    }
    if (init < 0) WriteAll(report[1], "E sandbox: " + ErrnoText("fork") + "\n");
    close(in[0]);
    close(out[1]);
    close(control[0]);
    close(report[1]);
    while (init > 0 && waitpid(init, nullptr, 0) < 0 && errno == EINTR) {
    }
    _exit(0);
  }
  close(in[0]);
  close(out[1]);
  close(control[0]);
  close(report[1]);
  if (outer < 0) {
    result.output = "sandbox: " + ErrnoText("fork") + "\n";
    for (int fd : {in[1], out[0], control[1], report[0]}) close(fd);
    sigaction(SIGPIPE, &old_pipe, nullptr);
    return result;
  }

  int stdin_fd = in[1];
  fcntl(stdin_fd, F_SETFL, O_NONBLOCK);
  size_t stdin_done = 0;
  if (options.console || (options.stdin_text.empty() && !options.keep_stdin_open)) {
    close(stdin_fd);
    stdin_fd = -1;
  }
  int stdout_fd = out[0];
  int report_fd = report[0];
  std::string report_text;
  using Clock = std::chrono::steady_clock;
  Clock::time_point deadline = Clock::now() + std::chrono::seconds(options.timeout_seconds);
  bool killed_hard = false;
  size_t signal_scan_from = 0;
  bool forwarded = false;

  auto send_control = [&](int value) {
    if (write(control[1], &value, sizeof value) < 0) {
      // The sandbox is already gone; its report says what happened.
    }
  };

  while (stdout_fd >= 0 || report_fd >= 0) {
    struct pollfd fds[3];
    nfds_t count = 0;
    int stdin_slot = -1, stdout_slot = -1, report_slot = -1;
    if (stdin_fd >= 0 && stdin_done < options.stdin_text.size()) {
      stdin_slot = static_cast<int>(count);
      fds[count++] = {stdin_fd, POLLOUT, 0};
    }
    if (stdout_fd >= 0) {
      stdout_slot = static_cast<int>(count);
      fds[count++] = {stdout_fd, POLLIN, 0};
    }
    if (report_fd >= 0) {
      report_slot = static_cast<int>(count);
      fds[count++] = {report_fd, POLLIN, 0};
    }
    auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    int wait_ms = static_cast<int>(std::max<int64_t>(0, wait.count()));
    // A signal landing just before poll would wait for the deadline otherwise.
    if (options.forward_signal) wait_ms = std::min(wait_ms, kForwardPollMs);
    int ready = poll(fds, count, killed_hard ? -1 : wait_ms);
    if (ready < 0 && errno != EINTR) break;

    if (!killed_hard && Clock::now() >= deadline) {
      if (!result.timed_out) {
        result.timed_out = true;
        send_control(kKillAll);
        deadline = Clock::now() + kReportGrace;
      } else {
        kill(outer, SIGKILL);
        killed_hard = true;
      }
    }
    if (options.forward_signal && *options.forward_signal != 0 && !forwarded) {
      send_control(*options.forward_signal);
      forwarded = true;
    }
    if (stdin_slot >= 0 && fds[stdin_slot].revents) {
      ssize_t n = write(stdin_fd, options.stdin_text.data() + stdin_done,
                        options.stdin_text.size() - stdin_done);
      if (n > 0) stdin_done += static_cast<size_t>(n);
      bool broken = n < 0 && errno != EAGAIN && errno != EINTR;
      if (broken || (stdin_done == options.stdin_text.size() && !options.keep_stdin_open)) {
        close(stdin_fd);
        stdin_fd = -1;
      }
    }
    if (stdout_slot >= 0 && fds[stdout_slot].revents) {
      char buf[65536];
      ssize_t n = read(stdout_fd, buf, sizeof buf);
      if (n > 0) {
        result.output.append(buf, static_cast<size_t>(n));
        if (options.console) WriteAll(1, std::string(buf, static_cast<size_t>(n)));
      } else if (n == 0 || errno != EINTR) {
        close(stdout_fd);
        stdout_fd = -1;
      }
      if (!options.signal_after.empty() && !result.signal_sent &&
          result.output.find(options.signal_after, signal_scan_from) != std::string::npos) {
        send_control(options.signal);
        result.signal_sent = true;
      }
      if (result.output.size() > options.signal_after.size()) {
        signal_scan_from = result.output.size() - options.signal_after.size();
      }
    }
    if (report_slot >= 0 && fds[report_slot].revents) {
      char buf[65536];
      ssize_t n = read(report_fd, buf, sizeof buf);
      if (n > 0) {
        report_text.append(buf, static_cast<size_t>(n));
      } else if (n == 0 || errno != EINTR) {
        close(report_fd);
        report_fd = -1;
      }
    }
  }
  if (stdin_fd >= 0) close(stdin_fd);
  close(control[1]);
  while (waitpid(outer, nullptr, 0) < 0 && errno == EINTR) {
  }
  sigaction(SIGPIPE, &old_pipe, nullptr);

  ParseReport(report_text, &result);
  return result;
}
