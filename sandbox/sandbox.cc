#include "sandbox/sandbox.h"

#include <fcntl.h>
#include <ftw.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <utility>

#include "common/write_all.h"
#include "sandbox/change_set.h"
#include "sandbox/layer_files.h"
#include "sandbox/view_mounts.h"

namespace {

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

int RemoveEntry(const char* path, const struct stat*, int, FTW*) {
  if (remove(path) != 0) fprintf(stderr, "sandbox: cannot remove %s: %s\n", path, strerror(errno));
  return 0;
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

RunResult Sandbox::Run(const std::vector<std::string>& argv, const RunOptions& options) {
  ViewPlan plan;
  plan.scratch_dir = scratch_dir_;
  plan.upper_dir = upper_dir_;
  plan.layers = layers_;
  if (!options.keep_host_name) plan.host_name = kSandboxHostName;
  plan.share_network = options.share_network;
  RunHooks hooks;
  hooks.set_up = [&](std::string* err) {
    return MountView(
        plan, [this](const std::string& root, std::string* e) { return WriteSeeds(root, e); }, err);
  };
  hooks.root = scratch_dir_ + "/merged";
  hooks.changes = [&] {
    ChangeSet changes;
    CollectChanges(upper_dir_, scratch_dir_ + "/below", &changes);
    return changes;
  };
  hooks.share_network = options.share_network;
  return RunSandboxed(argv, options, hooks);
}
