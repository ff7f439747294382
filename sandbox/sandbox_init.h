#pragma once

// The sandbox's side of a run: a process that enters new namespaces and
// starts the PID namespace's init there, which runs the programs, reaps
// every orphan, passes signals on from the caller and, once the programs
// have ended, kills what they left and reports.
//
// The report, one line each: "E <message>" when the sandbox could not be
// set up, else "S <wait status>" of the first program, then the changes:
// "+ <path>" created, "~ <path>" changed, "- <path>" deleted.

#include <sys/types.h>

#include <string>
#include <vector>

#include "sandbox/sandboxed_run.h"

// The pipes between the caller and the sandbox; [0] reads, [1] writes.
struct RunPipes {
  int in[2], out[2], control[2], report[2];
};

// Sent on the control pipe instead of a signal number: kill everything now.
constexpr int kKillAll = -1;

// In a child of the caller `caller`: closes the caller's ends of `pipes`,
// enters the namespaces and runs the init there; ends when the init does.
[[noreturn]] void RunSandboxSide(const std::vector<std::string>& argv, const RunOptions& options,
                                 const RunHooks& hooks, pid_t caller, const RunPipes& pipes);
