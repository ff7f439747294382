#include "tests/layer_cache.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <sstream>

#include "sandbox/sandbox.h"

namespace {

// Changing how layers are built changes this, which rebuilds old ones.
constexpr char kRecipe[] = "dpkg-i-v1";
// How long an apt-get waits for another one to finish.
constexpr int kAptWaitSeconds = 600;

std::string ReadText(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string Quote(const std::string& text) {
  std::string quoted(1, '\'');
  for (char c : text) {
    if (c == '\'')
      quoted.append("'\\''");
    else
      quoted.push_back(c);
  }
  quoted.push_back('\'');
  return quoted;
}

// Runs a host command; its output goes to `log`. True on exit status 0.
bool RunOnHost(const std::string& command, const std::string& log) {
  int status = system((command + " >>" + Quote(log) + " 2>&1 </dev/null").c_str());
  return status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::string Tail(const std::string& text, size_t lines) {
  size_t at = text.size();
  while (lines-- > 0 && at > 0) {
    at = text.rfind('\n', at - 1);
    if (at == std::string::npos) return text;
  }
  return text.substr(at);
}

// An apt-get command that waits for apt's own locks, and for every other
// layer build sharing this cache, instead of failing while another
// apt-get updates the package lists.
std::string AptGet(const std::string& arguments) {
  return "flock -w " + std::to_string(kAptWaitSeconds) + " " +
         Quote(std::string(QV_LAYER_CACHE_DIR) + "/apt.lock") +
         " env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=" +
         std::to_string(kAptWaitSeconds) + " " + arguments;
}

std::vector<std::string> DebFiles(const std::string& folder) {
  std::vector<std::string> debs;
  if (DIR* dir = opendir(folder.c_str())) {
    while (dirent* entry = readdir(dir)) {
      std::string name = entry->d_name;
      if (name.size() > 4 && name.compare(name.size() - 4, 4, ".deb") == 0)
        debs.push_back(folder + "/" + name);
    }
    closedir(dir);
  }
  std::sort(debs.begin(), debs.end());
  return debs;
}

std::string Key(const std::vector<std::string>& packages, const std::vector<std::string>& below) {
  std::string key = kRecipe;
  for (const std::string& package : packages) key += " " + package;
  // A layer below that was built again makes this one stale.
  for (const std::string& layer : below) key.append(" on ").append(ReadText(layer + "/../key"));
  // The layer holds its own dpkg status, passwd and group: a changed host
  // makes it stale.
  size_t host_state = std::hash<std::string>{}(ReadText("/var/lib/dpkg/status") +
                                               ReadText("/etc/passwd") + ReadText("/etc/group"));
  return key + " host:" + std::to_string(host_state) + "\n";
}

bool Build(const std::vector<std::string>& packages, const std::vector<std::string>& below,
           const std::string& root, const std::string& layer, std::string* err) {
  const std::string debs = root + "/debs";
  const std::string log = root + "/build.log";
  std::ofstream(log, std::ios::trunc) << "building a layer of" << packages.size() << " packages\n";
  RunOnHost("rm -rf " + Quote(layer) + " " + Quote(debs), log);
  if (mkdir(debs.c_str(), 0755) != 0 || mkdir((debs + "/partial").c_str(), 0755) != 0) {
    *err = "mkdir " + debs + ": " + strerror(errno);
    return false;
  }
  std::string names;
  for (const std::string& package : packages) names.append(" ").append(Quote(package));
  const std::string download =
      AptGet("install --download-only --no-install-recommends -y -q -o Dir::Cache::archives=" +
             Quote(debs) + names);
  if (!RunOnHost(download, log) &&
      !(RunOnHost(AptGet("update -q"), log) && RunOnHost(download, log))) {
    *err = "downloading" + names + " failed:" + Tail(ReadText(log), 6);
    return false;
  }
  std::vector<std::string> files = DebFiles(debs);
  Sandbox sandbox;
  for (const std::string& layer_below : below) sandbox.AddLayer(layer_below);
  if (!files.empty()) {
    std::string install = "DEBIAN_FRONTEND=noninteractive dpkg -i --force-confdef --force-confold";
    for (const std::string& file : files) install.append(" ").append(Quote(file));
    RunOptions options;
    options.share_network = true;
    options.timeout_seconds = 600;
    RunResult run = sandbox.Run({"/bin/sh", "-c", install + " 2>&1"}, options);
    std::ofstream(log, std::ios::app) << run.output;
    if (run.exit_status != 0) {
      *err = "installing" + names + " in a sandbox failed:" + Tail(run.output, 6);
      return false;
    }
  }
  const std::string building = layer + ".new";
  RunOnHost("rm -rf " + Quote(building), log);
  if (!RunOnHost("cp -a " + Quote(sandbox.upper_dir()) + " " + Quote(building), log) ||
      rename(building.c_str(), layer.c_str()) != 0) {
    *err = "keeping the layer failed:" + Tail(ReadText(log), 6);
    return false;
  }
  RunOnHost("rm -rf " + Quote(debs), log);
  return true;
}

}  // namespace

bool PackageLayer(const std::vector<std::string>& packages, std::string* layer_dir,
                  std::string* err) {
  return PackageLayerOn(packages, {}, layer_dir, err);
}

bool PackageLayerOn(const std::vector<std::string>& packages, const std::vector<std::string>& below,
                    std::string* layer_dir, std::string* err) {
  std::string name;
  for (const std::string& package : packages) name += (name.empty() ? "" : "+") + package;
  for (const std::string& layer : below) {
    const size_t end = layer.rfind("/layer");
    const size_t start = layer.rfind('/', end - 1);
    name.push_back('@');
    name.append(layer, start + 1, end - start - 1);
  }
  const std::string root = std::string(QV_LAYER_CACHE_DIR) + "/" + name;
  if (!RunOnHost("mkdir -p " + Quote(root), "/dev/null")) {
    *err = "can't make " + root;
    return false;
  }
  int lock = open((root + "/lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (lock < 0 || flock(lock, LOCK_EX) != 0) {
    *err = "can't lock " + root + ": " + strerror(errno);
    if (lock >= 0) close(lock);
    return false;
  }
  const std::string layer = root + "/layer";
  const std::string key_file = root + "/key";
  const std::string key = Key(packages, below);
  bool ok = true;
  struct stat st;
  if (ReadText(key_file) != key || stat(layer.c_str(), &st) != 0) {
    unlink(key_file.c_str());
    ok = Build(packages, below, root, layer, err);
    if (ok) std::ofstream(key_file) << key;
  }
  close(lock);
  if (ok) *layer_dir = layer;
  return ok;
}
