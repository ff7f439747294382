#pragma once

// Writing a whole buffer to a descriptor, as every program of the package
// must: short writes continue, interrupted ones are retried.

#include <cstddef>

// True when all `size` bytes were written; false (errno set, EIO for a
// write that wrote nothing) otherwise.
bool WriteAll(int fd, const char* data, size_t size);
