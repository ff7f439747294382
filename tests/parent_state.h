#pragma once

// What a child process must never inherit, given to the test process for
// the life of one object: a variable of the administrator's shell, a
// search path of its own, SIGPIPE ignored and SIGTERM blocked.

#include <signal.h>
#include <stdlib.h>

#include <string>

class ForeignParentState {
 public:
  ForeignParentState() {
    if (const char* path = getenv("PATH")) old_path_ = path;
    setenv("QV_FROM_THE_ADMINISTRATORS_SHELL", "1", 1);
    setenv("PATH", "/tmp/qv-not-searched", 1);
    struct sigaction ignore = {};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGPIPE, &ignore, &old_pipe_);
    sigset_t term;
    sigemptyset(&term);
    sigaddset(&term, SIGTERM);
    sigprocmask(SIG_BLOCK, &term, &old_mask_);
  }
  ~ForeignParentState() {
    sigprocmask(SIG_SETMASK, &old_mask_, nullptr);
    sigaction(SIGPIPE, &old_pipe_, nullptr);
    unsetenv("QV_FROM_THE_ADMINISTRATORS_SHELL");
    setenv("PATH", old_path_.c_str(), 1);
  }
  ForeignParentState(const ForeignParentState&) = delete;
  ForeignParentState& operator=(const ForeignParentState&) = delete;

 private:
  std::string old_path_;
  struct sigaction old_pipe_;
  sigset_t old_mask_;
};

// A shell script that prints the blocked and the ignored signals of its
// shell, 1 to 31 only (the C library keeps two real-time signals of its
// own): "SigBlk N" and "SigIgn N", N the bits in decimal.
constexpr char kPrintSignalState[] = R"sh(for set in SigBlk SigIgn; do
  bits=$(awk -v set="$set:" '$1 == set { print $2 }' /proc/$$/status)
  echo "$set $(( 0x$bits & 0x7fffffff ))"
done
)sh";
