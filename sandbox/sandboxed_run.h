#pragma once

// Running programs in a sandbox: the run's own process in new namespaces,
// an init process there that starts the programs, reaps every orphan and
// reports, and the caller's side that feeds standard input, gathers
// standard output, passes signals on and ends a run that takes too long.

#include <csignal>
#include <functional>
#include <string>
#include <vector>

#include "sandbox/change_set.h"

struct RunOptions {
  std::string working_dir = "/";  // inside the sandbox
  std::string stdin_text;         // fed to the program's standard input
  // After stdin_text, leave stdin open (the program blocks at its next
  // read) until the program ends.
  bool keep_stdin_open = false;
  int timeout_seconds = 60;  // then the whole sandbox is killed, timed_out = true
  // Once this text has appeared on stdout, `signal` is sent to the program (once).
  std::string signal_after;
  int signal = 0;
  bool share_network = false;  // keep the host's network namespace (only for building layers)
  // The program reads the caller's own standard input, and what it prints is
  // passed on to the caller's standard output as it comes (and kept in
  // `output` too): an administrator answers the questions as on the host.
  bool console = false;
  // Keep the host's name instead of kSandboxHostName.
  bool keep_host_name = false;
  // Polled while the program runs: once it holds a signal number, that
  // signal is sent to the program (once), as an interrupt passed on.
  const volatile sig_atomic_t* forward_signal = nullptr;
  // Programs run one after another once the program has ended, in the same
  // view and namespaces, while what it started (a daemon) still runs; with
  // the same standard input and output. A signal passed on reaches the one
  // running and skips the rest. The run's exit status stays the program's.
  std::vector<std::vector<std::string>> then;
};

struct RunResult {
  // Everything the program wrote to stdout (stderr goes to the test's
  // stderr). When the sandbox could not be set up: a message starting
  // with "sandbox:" and exit_status -1.
  std::string output;
  int exit_status = -1;  // exit code when the program exited normally
  int term_signal = 0;   // signal that ended it, if any
  bool timed_out = false;
  bool signal_sent = false;
  ChangeSet changes;  // what the run changed, relative to host + seeds + layers
};

// What a run asks of the view it runs in.
struct RunHooks {
  // In the new namespaces, before any program starts: sets the view up.
  // False with `err`, which the run reports.
  std::function<bool(std::string* err)> set_up;
  // The programs' root folder once set_up has run.
  std::string root;
  // Once every process of the run has ended: what the run changed.
  std::function<ChangeSet()> changes;
  // Keep the host's network namespace.
  bool share_network = false;
};

// Runs argv (looked up in PATH inside the view) and, after it, options.then,
// in new namespaces set up by `hooks`; returns what happened. Every process
// the run started has ended when it returns.
RunResult RunSandboxed(const std::vector<std::string>& argv, const RunOptions& options,
                       const RunHooks& hooks);
