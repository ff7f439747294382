// peak_memory COMMAND [ARG...] < INPUT: runs the command and prints its
// peak resident memory in KiB. This program is small, so the memory the
// child had before its exec does not hide the command's own.

#include <stdio.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

int main(int argc, char** argv) {
  if (argc < 2) {
    fprintf(stderr, "usage: peak_memory COMMAND [ARG...]\n");
    return 2;
  }
  pid_t pid = fork();
  if (pid == 0) {
    execv(argv[1], argv + 1);
    perror(argv[1]);
    _exit(127);
  }
  int status = 0;
  struct rusage usage = {};
  if (pid < 0 || wait4(pid, &status, 0, &usage) < 0) return 1;
  printf("%ld\n", usage.ru_maxrss);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}
