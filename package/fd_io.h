// Whole reads and writes on POSIX file descriptors, retried after signals.
#pragma once

#include <cstddef>

namespace kelvo {

// Writes all `n` bytes; false (errno set) on an error or a device that takes
// nothing.
bool write_all(int fd, const void* data, std::size_t n);

// Reads until `n` bytes or the end of the file; the count read, or -1 on an
// error.
std::ptrdiff_t read_full(int fd, void* data, std::size_t n);

}  // namespace kelvo
