#!/bin/sh
# Fails when an object file of the interrupt handler calls a function that
# is not async-signal-safe. Usage: signal_safe_calls.sh OBJECT...
# What the objects define themselves is checked as part of them; everything
# else they call must be on the list below (the async-signal-safe functions
# of POSIX they use, plus two Linux system call wrappers: statx, syscall).
set -eu

allowed='
_exit
__errno_location
__stack_chk_fail
close
fcntl
fstat
geteuid
kill
lstat
open
openat
poll
rmdir
sigaction
sigaddset
sigemptyset
signal
sigprocmask
statx
syscall
unlink
unlinkat
waitpid
'

defined=$(nm -P --defined-only "$@" | awk 'NF >= 2 && $1 !~ /:$/ { print $1 }' | sort -u)
called=$(nm -P -u "$@" | awk 'NF >= 2 && $1 !~ /:$/ { print $1 }' | sort -u)

status=0
for symbol in $called; do
  if printf '%s\n' "$defined" | grep -qxF -- "$symbol"; then continue; fi
  if printf '%s\n' "$allowed" | grep -qxF -- "$symbol"; then continue; fi
  echo "not async-signal-safe: $symbol" >&2
  status=1
done
exit $status
