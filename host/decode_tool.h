#pragma once

// The decode tool that ships beside the installer, judged before the
// installer copies it and runs the copy as root.

class DecodeTool {
 public:
  // Opens `path` (in the folder the installer was started from) without
  // following a link; a missing tool is not refused here, its copy fails.
  explicit DecodeTool(const char* path);
  ~DecodeTool();
  DecodeTool(const DecodeTool&) = delete;
  DecodeTool& operator=(const DecodeTool&) = delete;

  // Why the tool must not run as root, as a line for the console, or
  // nullptr: not a regular file, writable by anyone but its owner, or owned
  // by neither root nor the owner of the installer.
  const char* Refusal() const { return refusal_; }

  // True when `copy` holds exactly what was judged (or, for a missing
  // tool, when there is no copy either).
  bool IsCopiedTo(const char* copy) const;

 private:
  int fd_ = -1;
  const char* refusal_ = nullptr;
};

// The refusal when the copy does not hold what was judged.
constexpr char kDecodeToolChanged[] = "The decode tool changed while it was copied.";
