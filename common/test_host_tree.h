#pragma once

// A host laid out in a folder of its own, for the tests of what finds the
// host's files under a `root`. Each path names a program (mode 0755), a
// plain file (mode 0644, marked by a leading "-") or a folder (ending in
// "/"). The folder goes when the tree does.

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

class HostTree {
 public:
  HostTree() {
    char folder[] = "/tmp/qv-host-XXXXXX";
    // An empty root would stand for the machine's own "/".
    if (!mkdtemp(folder)) abort();
    root_ = folder;
  }
  ~HostTree() {
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
  }
  HostTree(const HostTree&) = delete;
  HostTree& operator=(const HostTree&) = delete;

  void Add(std::string path) {
    const bool plain = path[0] == '-';
    if (plain) path.erase(0, 1);
    const std::string full = root_ + path;
    if (path.back() == '/') {
      std::filesystem::create_directories(full);
      return;
    }
    std::filesystem::create_directories(std::filesystem::path(full).parent_path());
    std::ofstream(full) << "#!/bin/sh\n";
    chmod(full.c_str(), plain ? 0644 : 0755);
  }
  // A symbolic link at `path` to `target`; false when it could not be made.
  bool Link(const std::string& path, const std::string& target) {
    std::filesystem::create_directories(std::filesystem::path(root_ + path).parent_path());
    return symlink(target.c_str(), (root_ + path).c_str()) == 0;
  }
  const std::string& root() const { return root_; }

 private:
  std::string root_;
};
