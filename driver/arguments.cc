#include "driver/arguments.h"

#include <string_view>

const char kInstallerUsage[] =
    "usage: qvinstall [--answers FILE]\n"
    "       qvinstall --help | --version\n"
    "Installs the Quorvane server on this host; run it as root. It asks its\n"
    "questions on standard input, one answer a line, or takes the answers by\n"
    "name from FILE (-a FILE): one `key = value` line a question, '#' starting\n"
    "a comment line.\n";

Arguments ParseArguments(int argc, char** argv) {
  Arguments args;
  const std::string_view first = argc > 1 ? argv[1] : "";
  if (argc == 1) return args;
  if (argc == 2 && first == "--help") {
    args.action = Arguments::Action::kHelp;
  } else if (argc == 2 && first == "--version") {
    args.action = Arguments::Action::kVersion;
  } else if (argc == 3 && (first == "--answers" || first == "-a")) {
    args.answer_file = argv[2];
  } else {
    args.action = Arguments::Action::kUsageError;
  }
  return args;
}
