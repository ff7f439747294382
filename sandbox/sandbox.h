#pragma once

// A private, copy-on-write view of the whole machine for running the
// installer (or anything else) as root without touching the machine: the
// program runs chrooted in an overlay whose lowest layer is `/`, in its own
// mount, PID, UTS and network namespaces. Everything it writes lands in the
// sandbox's upper folder, which is what the change set is computed from.

#include <sys/stat.h>
#include <sys/types.h>

#include <csignal>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "sandbox/change_set.h"

struct RunOptions {
  std::string working_dir = "/";  // inside the sandbox
  std::string stdin_text;         // fed to the program's standard input
  // After stdin_text, leave stdin open (the program blocks at its next
  // read) until the program ends.
  bool keep_stdin_open = false;
  int timeout_seconds = 60;  // then the whole sandbox is killed, timed_out = true
  // Once this text has appeared on stdout, `signal` is sent to the program (once).
  std::string signal_after;
  int signal = 0;
  bool share_network = false;  // keep the host's network namespace (only for building layers)
  // The program reads the caller's own standard input, and what it prints is
  // passed on to the caller's standard output as it comes (and kept in
  // `output` too): an administrator answers the questions as on the host.
  bool console = false;
  // Keep the host's name instead of kSandboxHostName.
  bool keep_host_name = false;
  // Polled while the program runs: once it holds a signal number, that
  // signal is sent to the program (once), as an interrupt passed on.
  const volatile sig_atomic_t* forward_signal = nullptr;
  // Programs run one after another once the program has ended, in the same
  // view and namespaces, while what it started (a daemon) still runs; with
  // the same standard input and output. A signal passed on reaches the one
  // running and skips the rest. The run's exit status stays the program's.
  std::vector<std::vector<std::string>> then;
};

struct RunResult {
  // Everything the program wrote to stdout (stderr goes to the test's
  // stderr). When the sandbox could not be set up: a message starting
  // with "sandbox:" and exit_status -1.
  std::string output;
  int exit_status = -1;  // exit code when the program exited normally
  int term_signal = 0;   // signal that ended it, if any
  bool timed_out = false;
  bool signal_sent = false;
  ChangeSet changes;  // what the run changed, relative to host + seeds + layers
};

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

  // In the sandbox's init process: sets the sandbox up, runs the program
  // and reports. Never returns.
  [[noreturn]] void SandboxInit(const std::vector<std::string>& argv, const RunOptions& options,
                                int stdin_fd, int stdout_fd, int control_fd, int report_fd);
  bool MountLayers(const RunOptions& run, std::string* err);
  bool WriteSeeds(const std::string& root, std::string* err) const;

  std::string scratch_dir_;
  std::string upper_dir_;
  std::map<std::string, SeedEntry> seeds_;
  std::vector<std::string> layers_;  // host folders, in the order added
};
