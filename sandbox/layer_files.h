#pragma once

// Reading the folders an overlay is stacked from: plain files and links,
// and the marks overlayfs leaves in an upper folder (whiteouts, opaque
// folders).

#include <sys/stat.h>

#include <optional>
#include <string>
#include <vector>

// The whole content of a file, or nullopt when it cannot be read.
std::optional<std::string> ReadWholeFile(const std::string& path);
// The target of a symbolic link, or nullopt.
std::optional<std::string> ReadLink(const std::string& path);
// Whether the entry hides the same path in the layers below.
bool IsWhiteout(const struct stat& st);
// Whether the folder hides the content of the same folder below.
bool IsOpaque(const std::string& path);
// The names in a folder without "." and "..", sorted; empty when unreadable.
std::vector<std::string> DirNames(const std::string& path);
