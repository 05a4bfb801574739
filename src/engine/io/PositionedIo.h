// Whole reads and writes at a file offset (pread/pwrite until done, across interruptions).
#pragma once

#include <cstddef>
#include <cstdint>

namespace quarnix {

// Reads exactly size bytes at offset: 0, an errno, or -1 when the file ends before.
int ReadExactlyAt(int fd, std::uint64_t offset, std::uint8_t* bytes, std::size_t size);

// Writes exactly size bytes at offset: 0 or an errno.
int WriteExactlyAt(int fd, std::uint64_t offset, const std::uint8_t* bytes, std::size_t size);

} // namespace quarnix
