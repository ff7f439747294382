#include "sandbox/view_mounts.h"

#include <net/if.h>
#include <sched.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

namespace {

std::string ErrnoText(const std::string& what) { return what + ": " + strerror(errno); }

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

// Mounts the tmpfs at layers/, with the seeds and a copy of each added
// layer in it; sets `lower` to the overlay's lower folders, top first.
bool StackLowerLayers(const ViewPlan& plan, const SeedWriter& write_seeds, std::string* lower,
                      std::string* err) {
  std::string layers = plan.scratch_dir + "/layers";
  if (mount("qvseeds", layers.c_str(), "tmpfs", 0, "mode=0755") != 0) {
    *err = ErrnoText("mounting the seed tmpfs");
    return false;
  }
  std::string seeds = layers + "/seeds";
  if (mkdir(seeds.c_str(), 0755) != 0) {
    *err = ErrnoText("mkdir " + seeds);
    return false;
  }
  if (!write_seeds(seeds, err)) return false;
  // Layers on the same file system as / cannot be stacked over it; a copy
  // in the tmpfs can.
  *lower = seeds;
  for (size_t i = plan.layers.size(); i-- > 0;) {
    std::string copy = layers + "/" + std::to_string(i);
    if (mkdir(copy.c_str(), 0755) != 0) {
      *err = ErrnoText("mkdir " + copy);
      return false;
    }
    if (!CopyTree(plan.layers[i], copy, err)) return false;
    *lower += ":" + copy;
  }
  *lower += ":/";
  return true;
}

// The overlay the programs run in, and the same stack without its upper
// folder, which the change set is computed against.
bool MountOverlays(const ViewPlan& plan, const std::string& lower, std::string* err) {
  std::string merged = plan.scratch_dir + "/merged";
  // Without redirects or metacopy, the upper folder alone tells what changed.
  std::string options = "lowerdir=" + lower + ",upperdir=" + plan.upper_dir +
                        ",workdir=" + plan.scratch_dir +
                        "/work,redirect_dir=off,metacopy=off,index=off";
  if (mount("overlay", merged.c_str(), "overlay", 0, options.c_str()) != 0) {
    *err = ErrnoText("mounting the overlay (" + options + ")");
    return false;
  }
  std::string below = plan.scratch_dir + "/below";
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
  return true;
}

}  // namespace

bool EnterNamespaces(bool share_network, std::string* err) {
  int flags = CLONE_NEWNS | CLONE_NEWPID | CLONE_NEWUTS;
  if (!share_network) flags |= CLONE_NEWNET;
  if (unshare(flags) != 0) {
    *err = ErrnoText("unshare");
    return false;
  }
  return true;
}

bool MountView(const ViewPlan& plan, const SeedWriter& write_seeds, std::string* err) {
  if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
    *err = ErrnoText("making / private");
    return false;
  }
  std::string lower;
  if (!StackLowerLayers(plan, write_seeds, &lower, err) || !MountOverlays(plan, lower, err))
    return false;
  if (!plan.host_name.empty() && sethostname(plan.host_name.c_str(), plan.host_name.size()) != 0) {
    *err = ErrnoText("sethostname");
    return false;
  }
  return plan.share_network || BringLoopbackUp(err);
}
