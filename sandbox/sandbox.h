#pragma once

// A private, copy-on-write view of the whole machine for running the
// installer (or anything else) as root without touching the machine: the
// program runs chrooted in an overlay whose lowest layer is `/`, in its own
// mount, PID, UTS and network namespaces. Everything it writes lands in the
// sandbox's upper folder, which is what the change set is computed from.

#include <sys/stat.h>
#include <sys/types.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "sandbox/change_set.h"
#include "sandbox/sandboxed_run.h"

// Appended to by the scripts of SeedInitScripts(); it shows in change sets.
constexpr char kInitLog[] = "/var/log/qvtest-init.log";
constexpr char kSandboxHostName[] = "qvhost.example.test";

class Sandbox {
 public:
  // Makes a scratch folder under /tmp; mounts nothing in the host's namespace.
  Sandbox();
  // Removes the scratch folder and everything the runs left in it.
  ~Sandbox();
  Sandbox(const Sandbox&) = delete;
  Sandbox& operator=(const Sandbox&) = delete;

  // Seeds: what the host looks like for the runs. They live in a layer
  // stacked above `/` (and above added layers), so they never show in a
  // change set. Symbolic links in the parents of a seeded path are followed
  // (as the host, seeds and layers have them); missing parents are added as
  // 0755 root folders. A path seeded twice keeps the last seed.
  void Seed(const std::string& path, const std::string& content, mode_t mode = 0644);
  void SeedDir(const std::string& path, mode_t mode = 0755);
  void SeedSymlink(const std::string& path, const std::string& target);
  // Copies a host file (keeping its mode), symbolic link or whole folder.
  void SeedCopy(const std::string& path, const std::string& host_path);
  // Hides the path, as if the host lacked it.
  void SeedRemoved(const std::string& path);
  // Sets the owner of an already seeded path; false if the path is not seeded.
  bool SeedOwner(const std::string& path, uid_t uid, gid_t gid);
  // SysV init scripts /etc/rc.d/init.d/{named,sendmail,xinetd,inet} (0755).
  // Each appends "<name> <args>\n" to kInitLog and prints "<name> <args>: done\n".
  void SeedInitScripts();
  // One init script printing `output` verbatim ("" prints nothing); it
  // still logs its call to kInitLog.
  void SeedInitScript(const std::string& name, const std::string& output);
  // An extra lower layer from a host folder (may hold whiteouts), below the
  // seeds; a later layer sits above an earlier one. It is copied at each run.
  void AddLayer(const std::string& host_dir);

  // Runs argv (looked up in PATH inside the sandbox) and returns what
  // happened. The upper folder persists, so a later run sees what earlier
  // runs left, and its change set covers all runs so far.
  RunResult Run(const std::vector<std::string>& argv, const RunOptions& options = {});

  // After the runs, the path as the programs left it: upper layer, else
  // seeds, else layers, else host. Symbolic links are followed.
  std::optional<std::string> ReadAfter(const std::string& path) const;  // nullopt if missing
  // lstat of the path as left; nullopt if missing.
  std::optional<struct stat> StatAfter(const std::string& path) const;
  // The file as the runs found it: seeds, else layers, else host. Symbolic
  // links are followed; nullopt if missing.
  std::optional<std::string> ReadBefore(const std::string& path) const;
  // Target of the symbolic link as left; nullopt if missing or not a link.
  std::optional<std::string> LinkTargetAfter(const std::string& path) const;

  const std::string& upper_dir() const { return upper_dir_; }
  const std::string& scratch_dir() const { return scratch_dir_; }

 private:
  enum class SeedKind { kFile, kDir, kSymlink, kWhiteout };
  struct SeedEntry {
    SeedKind kind = SeedKind::kFile;
    std::string data;  // file content or link target
    mode_t mode = 0644;
    uid_t uid = 0;
    gid_t gid = 0;
  };
  // One entry found by a lookup in the layered view.
  struct Found {
    bool whiteout = false;
    bool opaque = false;
    struct stat st = {};
    std::string disk_path;            // empty for a seed entry
    const SeedEntry* seed = nullptr;  // set for a seed entry
  };

  void AddSeed(const std::string& path, SeedEntry entry);
  void AddSeedParents(const std::string& path);
  // Queries layer `index` (0 upper, 1 seeds, then layers top down, host last).
  std::optional<Found> QueryLayer(size_t index, const std::string& path) const;
  size_t LayerCount() const { return layers_.size() + 3; }
  // Looks up a literal path (no links followed) in layers from `first` down.
  std::optional<Found> Lookup(const std::string& path, size_t first) const;
  // A regular file's content, looked up from layer `first` down.
  std::optional<std::string> ReadFrom(const std::string& path, size_t first) const;
  // The literal path after following links in the parents (and the last
  // component too when follow_last), or "" when the lookup fails.
  std::string Resolve(const std::string& path, bool follow_last, size_t first) const;

  // Writes the seeds into `root`, folders first; false with `err`.
  bool WriteSeeds(const std::string& root, std::string* err) const;

  std::string scratch_dir_;
  std::string upper_dir_;
  std::map<std::string, SeedEntry> seeds_;
  std::vector<std::string> layers_;  // host folders, in the order added
};
