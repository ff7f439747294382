#!/usr/bin/env python3
"""typed_console.py ANSWERS PROGRAM [ARG]...

Runs PROGRAM as an administrator types its answers at a terminal: each line
of the file ANSWERS is given only once PROGRAM waits for input, and is
written into the transcript (PROGRAM's standard output, printed at the end)
where the terminal would echo it. After the last answer the input ends.
Prints a line end and "--- status N" after the transcript.

PROGRAM waits for input when it has printed a new prompt (ending in ": "),
is blocked in a read of its standard input and has taken all of the answer
given before; it flushes its output before each read, so all it printed up
to the question is then in the pipe.
"""

import fcntl
import os
import platform
import subprocess
import sys
import termios
import time

READ_SYSCALL = {"x86_64": 0, "aarch64": 63}[platform.machine()]
POLL_SECONDS = 0.001
BOUND_SECONDS = 120


def waits_for_input(pid, stdin_fd):
    try:
        with open(f"/proc/{pid}/syscall") as f:
            fields = f.read().split()
    except OSError:
        return False
    if len(fields) < 2 or fields[0] != str(READ_SYSCALL) or int(fields[1], 16) != 0:
        return False
    unread = bytearray(4)
    fcntl.ioctl(stdin_fd, termios.FIONREAD, unread)
    return int.from_bytes(unread, sys.byteorder) == 0


def drain(fd, transcript):
    while True:
        try:
            chunk = os.read(fd, 65536)
        except BlockingIOError:
            return True
        if not chunk:
            return False
        transcript += chunk


def main():
    with open(sys.argv[1], "rb") as f:
        answers = f.read().split(b"\n")
    if answers and answers[-1] == b"":
        answers.pop()
    program = subprocess.Popen(sys.argv[2:], stdin=subprocess.PIPE, stdout=subprocess.PIPE)
    out_fd = program.stdout.fileno()
    os.set_blocking(out_fd, False)
    transcript = bytearray()
    answered_at = 0  # the transcript's length when the last answer was given
    deadline = time.monotonic() + BOUND_SECONDS
    output_open = True
    while program.poll() is None and time.monotonic() < deadline:
        output_open = drain(out_fd, transcript) and output_open
        # Every question prints a prompt ending in ": " before it reads, so a
        # read without a new prompt is no question yet.
        asked = len(transcript) > answered_at and transcript.endswith(b": ")
        if program.stdin and asked and waits_for_input(program.pid, program.stdin.fileno()):
            drain(out_fd, transcript)
            if answers:
                answer = answers.pop(0) + b"\n"
                transcript += answer
                program.stdin.write(answer)
                program.stdin.flush()
            else:
                program.stdin.close()
                program.stdin = None
            answered_at = len(transcript)
        else:
            time.sleep(POLL_SECONDS)
    if program.poll() is None:
        program.kill()
    program.wait()
    if output_open:
        drain(out_fd, transcript)  # all it wrote is in the pipe once it has ended
    sys.stdout.buffer.write(bytes(transcript))
    sys.stdout.buffer.write(b"\n--- status %d\n" % program.returncode)


if __name__ == "__main__":
    main()
