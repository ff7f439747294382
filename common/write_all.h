#pragma once

// Writing a whole buffer to a descriptor, as every program here must: a
// short write goes on with the rest, an interrupted one is retried.

#include <cstddef>
#include <string_view>

// True when all `size` bytes were written; false (errno set, EIO for a
// write that wrote nothing) otherwise. Safe to call from a signal handler.
bool WriteAll(int fd, const void* data, size_t size);

inline bool WriteAll(int fd, std::string_view data) {
  return WriteAll(fd, data.data(), data.size());
}
