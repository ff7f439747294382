#include "common/write_all.h"

#include <errno.h>
#include <unistd.h>

bool WriteAll(int fd, const void* data, size_t size) {
  const char* rest = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t n = write(fd, rest, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = EIO;
      return false;
    }
    rest += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}
