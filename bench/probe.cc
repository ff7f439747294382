// Runs inside the sandbox only (it refuses elsewhere), built by
// bench/run.sh around a package of the size being measured:
//   probe extract TAR_GZ   the installer's extraction, then tar -xzf on the
//                          same archive, each timed, with the peak disk use
//                          of the folder it fills, and the extraction's
//                          commands alone on a text already written; best
//                          of three
//   probe install PROGRAM  runs PROGRAM (the installer) with this standard
//                          input; splits its wall time into the time a
//                          child command was running and the rest
// Prints "name value" lines.

#include <dirent.h>
#include <fcntl.h>
#include <ftw.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <thread>

#include "common/remove_dir.h"
#include "host/extract.h"
#include "payload/payload.h"

namespace {

constexpr char kSandboxHostName[] = "qvhost.example.test";
constexpr char kTarFolder[] = "/QVTarExtract";
constexpr char kFloorFolder[] = "/QVFloor";
constexpr int kRuns = 3;

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

std::atomic<uint64_t> tree_bytes{0};

int AddBlocks(const char*, const struct stat* st, int, struct FTW*) {
  tree_bytes += static_cast<uint64_t>(st->st_blocks) * 512;
  return 0;
}

// Bytes the tree under `folder` occupies on disk now.
uint64_t DiskUse(const char* folder) {
  tree_bytes = 0;
  nftw(folder, AddBlocks, 16, FTW_PHYS);
  return tree_bytes;
}

// Samples the disk use of `folder` while `work` runs; returns the peak.
template <typename Work>
uint64_t PeakDiskUse(const char* folder, Work work) {
  std::atomic<bool> done{false};
  uint64_t peak = 0;
  std::thread sampler([&] {
    while (!done) {
      peak = std::max(peak, DiskUse(folder));
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
  });
  work();
  done = true;
  sampler.join();
  return std::max(peak, DiskUse(folder));
}

int RunAndWait(const char* const argv[]) {
  pid_t pid = fork();
  if (pid == 0) {
    execvp(argv[0], const_cast<char* const*>(argv));
    _exit(127);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return status;
}

// The extraction's three commands alone, from a text file already on disk:
// the least any extraction by these commands can take.
double CommandsAlone(const char* start_dir) {
  mkdir(kFloorFolder, 0700);
  std::string decode = std::string(start_dir) + "/decode";
  const char* copy[] = {"cp", decode.c_str(), kFloorFolder, nullptr};
  FILE* text = fopen("/QVFloor/qv.ecd", "w");
  if (RunAndWait(copy) != 0 || chdir(kFloorFolder) != 0 || !text ||
      fwrite(kPayloadText, 1, kPayloadTextSize, text) != kPayloadTextSize || fclose(text) != 0) {
    return -1;
  }
  const char* decode_run[] = {"./decode", "-u", "qv.ecd", "-o", "qv.tar.gz", nullptr};
  const char* gunzip[] = {"gzip", "-d", "qv.tar.gz", nullptr};
  const char* untar[] = {"tar", "-xf", "qv.tar", nullptr};
  Clock::time_point start = Clock::now();
  bool ok = RunAndWait(decode_run) == 0 && RunAndWait(gunzip) == 0 && RunAndWait(untar) == 0;
  double seconds = SecondsSince(start);
  if (chdir("/") != 0 || RemoveDir(kFloorFolder) != 0) return -1;
  return ok ? seconds : -1;
}

int Extract(const char* tar_gz) {
  double best_ours = 1e9, best_tar = 1e9, best_floor = 1e9;
  uint64_t peak_ours = 0, peak_tar = 0;
  char start_dir[4096];
  if (!getcwd(start_dir, sizeof start_dir)) return 1;
  for (int run = 0; run < kRuns; ++run) {
    if (chdir(start_dir) != 0) return 1;
    unsigned char result = 1;
    Clock::time_point start = Clock::now();
    const std::string_view package(kPayloadText, kPayloadTextSize);
    peak_ours = std::max(peak_ours,
                         PeakDiskUse(kWorkingFolder, [&] { result = Decode(start_dir, package); }));
    best_ours = std::min(best_ours, SecondsSince(start));
    if (result != 0) {
      fprintf(stderr, "probe: the extraction failed\n");
      return 1;
    }
    if (chdir("/") != 0 || RemoveDir(kWorkingFolder) != 0) return 1;

    mkdir(kTarFolder, 0755);
    const char* tar[] = {"tar", "-xzf", tar_gz, "-C", kTarFolder, nullptr};
    int status = 0;
    start = Clock::now();
    peak_tar = std::max(peak_tar, PeakDiskUse(kTarFolder, [&] { status = RunAndWait(tar); }));
    best_tar = std::min(best_tar, SecondsSince(start));
    if (status != 0 || RemoveDir(kTarFolder) != 0) return 1;

    double floor = CommandsAlone(start_dir);
    if (floor < 0) {
      fprintf(stderr, "probe: the commands alone failed\n");
      return 1;
    }
    best_floor = std::min(best_floor, floor);
  }
  printf("extract_seconds %.3f\ntar_seconds %.3f\n", best_ours, best_tar);
  printf("commands_alone_seconds %.3f\n", best_floor);
  printf("extract_disk_peak %llu\ntar_disk_peak %llu\n", static_cast<unsigned long long>(peak_ours),
         static_cast<unsigned long long>(peak_tar));
  return 0;
}

// Whether a process other than `self` has `parent` as its parent.
bool HasChild(pid_t parent) {
  DIR* proc = opendir("/proc");
  if (!proc) return false;
  bool found = false;
  char path[64], stat_text[512];
  while (dirent* entry = readdir(proc)) {
    if (entry->d_name[0] < '0' || entry->d_name[0] > '9') continue;
    snprintf(path, sizeof path, "/proc/%s/stat", entry->d_name);
    int fd = open(path, O_RDONLY);
    if (fd < 0) continue;
    ssize_t n = read(fd, stat_text, sizeof stat_text - 1);
    close(fd);
    if (n <= 0) continue;
    stat_text[n] = '\0';
    // "pid (name) state ppid ...": the name may hold anything but ends at the last ')'.
    const char* after_name = strrchr(stat_text, ')');
    int ppid = 0;
    if (after_name && sscanf(after_name + 1, " %*c %d", &ppid) == 1 && ppid == parent) {
      found = true;
      break;
    }
  }
  closedir(proc);
  return found;
}

int Install(const char* program) {
  Clock::time_point start = Clock::now();
  pid_t pid = fork();
  if (pid == 0) {
    execl(program, program, static_cast<char*>(nullptr));
    _exit(127);
  }
  double commands = 0;
  int status = 0;
  Clock::time_point last = Clock::now();
  for (;;) {
    bool busy = HasChild(pid);
    std::this_thread::sleep_for(std::chrono::microseconds(100));
    Clock::time_point now = Clock::now();
    if (busy) commands += std::chrono::duration<double>(now - last).count();
    last = now;
    if (waitpid(pid, &status, WNOHANG) == pid) break;
  }
  double total = SecondsSince(start);
  printf("install_seconds %.3f\ninstall_command_seconds %.3f\ninstall_status %d\n", total, commands,
         WIFEXITED(status) ? WEXITSTATUS(status) : -1);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  char host[256] = "";
  gethostname(host, sizeof host);
  if (strcmp(host, kSandboxHostName) != 0) {
    fprintf(stderr, "probe: runs only inside the test sandbox\n");
    return 2;
  }
  if (argc == 3 && strcmp(argv[1], "extract") == 0) return Extract(argv[2]);
  if (argc == 3 && strcmp(argv[1], "install") == 0) return Install(argv[2]);
  fprintf(stderr, "usage: probe extract TAR_GZ | probe install PROGRAM\n");
  return 2;
}
