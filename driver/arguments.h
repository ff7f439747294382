#pragma once

// The installer's command line. Without arguments it asks its questions on
// standard input, as it always has.

// What the command line asks for.
struct Arguments {
  enum class Action { kInstall, kHelp, kVersion, kUsageError };
  Action action = Action::kInstall;
  const char* answer_file = nullptr;  // --answers FILE or -a FILE
};

// Reads argv; touches nothing.
Arguments ParseArguments(int argc, char** argv);

// The usage text, for standard output on --help and standard error otherwise.
extern const char kInstallerUsage[];
