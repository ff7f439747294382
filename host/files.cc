#include "host/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

bool CanOpenForReading(const char* path) {
  int fd = open(path, O_RDONLY);
  if (fd < 0) return false;
  close(fd);
  return true;
}

bool PathExists(const char* path) {
  struct stat st;
  return lstat(path, &st) == 0;
}
