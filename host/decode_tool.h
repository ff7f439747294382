#pragma once

// The decode tool that ships beside the installer, judged before the
// installer copies it and runs the copy as root.

#include <string>

// The folder of the running program, where the decode tool ships beside
// the installer; "." (the folder it was started from) when the system does
// not tell.
std::string InstallerFolder();

class DecodeTool {
 public:
  // Opens the tool named decode in `folder` without following a link.
  explicit DecodeTool(const std::string& folder);
  ~DecodeTool();
  DecodeTool(const DecodeTool&) = delete;
  DecodeTool& operator=(const DecodeTool&) = delete;

  // Why the tool must not or cannot run as root, as a line for the console,
  // or "": missing, not a regular file, writable by anyone but its owner, or
  // owned by neither root nor the owner of the installer.
  const std::string& Refusal() const { return refusal_; }

  // The tool's path.
  const std::string& path() const { return path_; }

  // True when `copy` holds exactly what was judged.
  bool IsCopiedTo(const char* copy) const;

 private:
  std::string path_;
  int fd_ = -1;
  std::string refusal_;
};

// The refusal when the copy does not hold what was judged.
constexpr char kDecodeToolChanged[] = "The decode tool changed while it was copied.";
