#pragma once

// The namespaces a sandboxed run lives in and the view of the machine it
// sees: an overlay whose lowest layer is `/`, the seeds and added layers
// above it, and an upper folder that takes every write.

#include <functional>
#include <string>
#include <vector>

struct ViewPlan {
  // Holds upper/, work/, merged/ (the programs' root), below/ (the view
  // without the upper folder) and layers/ (where the seeds and copies go).
  std::string scratch_dir;
  std::string upper_dir;
  std::vector<std::string> layers;  // host folders; a later one sits above an earlier one
  std::string host_name;            // "" keeps the host's name
  bool share_network = false;       // keep the host's network namespace
};

// Fills `folder` with the seeds; false with `err`.
using SeedWriter = std::function<bool(const std::string& folder, std::string* err)>;

// Moves this process into new mount, PID and UTS namespaces, and a new
// network namespace unless `share_network`; its next child is the PID
// namespace's init. False with `err`.
bool EnterNamespaces(bool share_network, std::string* err);

// In the new namespaces: mounts a tmpfs for the seeds (filled by
// `write_seeds`) and for copies of the layers, the overlay at merged/ and
// the read-only view at below/, /proc and /dev in merged/; sets the host
// name and brings the loopback interface up in a private network. Nothing
// mounted here is seen outside the namespace. False with `err`.
bool MountView(const ViewPlan& plan, const SeedWriter& write_seeds, std::string* err);
