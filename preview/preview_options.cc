#include "preview/preview_options.h"

#include <string_view>

const char kPreviewUsage[] =
    "usage: qvpreview [--answers FILE] [--layer DIR]... [--then COMMAND]...\n"
    "       qvpreview --help | --version\n"
    "Runs the qvinstall beside it on a private copy-on-write view of this host and\n"
    "lists what the installation would change; the host stays as it is. FILE\n"
    "answers the questions by name, as for qvinstall; each COMMAND runs in the\n"
    "view after the installer, beside the service it started.\n";

PreviewOptions ParsePreviewOptions(int argc, char** argv) {
  PreviewOptions options;
  const std::string_view first = argc > 1 ? argv[1] : "";
  if (argc == 2 && (first == "--help" || first == "--version")) {
    options.action =
        first == "--help" ? PreviewOptions::Action::kHelp : PreviewOptions::Action::kVersion;
    return options;
  }
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    const char* value = i + 1 < argc ? argv[++i] : nullptr;
    if (value && arg == "--layer") {
      options.layers.push_back(value);
    } else if (value && arg == "--then") {
      options.then.push_back(value);
    } else if (value && (arg == "--answers" || arg == "-a") && options.answer_file.empty()) {
      options.answer_file = value;
    } else {
      options.action = PreviewOptions::Action::kUsageError;
      break;
    }
  }
  return options;
}
