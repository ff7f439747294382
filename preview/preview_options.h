#pragma once

// qvpreview's command line.

#include <string>
#include <vector>

struct PreviewOptions {
  enum class Action { kPreview, kHelp, kVersion, kUsageError };
  Action action = Action::kPreview;
  std::string answer_file;          // passed on to the installer, when given
  std::vector<std::string> layers;  // host folders laid over this host's files
  std::vector<std::string> then;    // shell commands run after the installer
};

// Reads argv; touches nothing.
PreviewOptions ParsePreviewOptions(int argc, char** argv);

// The usage text, for standard output on --help and standard error otherwise.
extern const char kPreviewUsage[];
