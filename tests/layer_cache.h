#pragma once

// Debian packages installed into a sandbox layer, for tests that run real
// daemons without installing them on the machine. The .deb files are
// downloaded on the host (never installed there), installed with dpkg in a
// sandbox, and the sandbox's upper folder is kept as the layer. A layer is
// built once per cache folder and rebuilt when the package list or the
// host's package state changes.

#include <string>
#include <vector>

// The layer's host folder for Sandbox::AddLayer, building it when needed.
// False with `err` filled when the packages cannot be downloaded or
// installed; several test processes may call it at once.
bool PackageLayer(const std::vector<std::string>& packages, std::string* layer_dir,
                  std::string* err);

// PackageLayer for packages installed on top of the layers `below` (host
// folders, lowest first), which a sandbox stacks under it: the new layer
// holds only what the packages add and change. It is rebuilt when a layer
// below was.
bool PackageLayerOn(const std::vector<std::string>& packages, const std::vector<std::string>& below,
                    std::string* layer_dir, std::string* err);
