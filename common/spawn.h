#pragma once

// The one way any program here starts another. Rules every child gets:
// - an empty signal mask and default signal dispositions, so it never runs
//   a handler of ours nor inherits a signal we block;
// - standard input from /dev/null unless the caller hands it a descriptor;
// - a fixed search path and a short list of variables, never the
//   environment of whoever started us.

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

// The search path every child gets.
constexpr char kChildSearchPath[] = "PATH=/usr/sbin:/usr/bin:/sbin:/bin";

struct SpawnOptions {
  // The child's standard input; -1: /dev/null.
  int stdin_fd = -1;
  // The child's standard output and error; -1: this process's own.
  int stdout_fd = -1;
  int stderr_fd = -1;
  // The child leads a process group of its own, so that it and all it
  // starts can be stopped together.
  bool own_process_group = false;
  // Signals whose disposition the child keeps as this process has it (an
  // ignored one stays ignored); every other goes back to its default.
  std::vector<int> kept_dispositions;
  // The whole environment, "NAME=value" each. Without it: kChildSearchPath
  // and this process's TERM, LANG and LC_ALL, which say how to talk to the
  // administrator.
  std::optional<std::vector<std::string>> environment;
};

// Starts the program at the absolute path `program` as a child process,
// with the arguments `argv` (its name first, as it shall see it). Returns 0
// and sets `*pid`, or the error number; changes nothing on disk.
int Spawn(const std::string& program, const std::vector<std::string>& argv,
          const SpawnOptions& options, pid_t* pid);

// Waits until the child `pid` has ended, through interruptions, and reaps
// it. Returns its wait status, or -1 when it was not this process's child.
int WaitForChild(pid_t pid);
