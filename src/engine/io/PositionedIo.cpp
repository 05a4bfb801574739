#include "engine/io/PositionedIo.h"

#include <cerrno>
#include <unistd.h>

namespace quarnix {

int ReadExactlyAt(int fd, std::uint64_t offset, std::uint8_t* bytes, std::size_t size) {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t got = pread(fd, bytes + done, size - done, static_cast<off_t>(offset + done));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            return errno;
        }
        if (got == 0) {
            return -1;
        }
        done += static_cast<std::size_t>(got);
    }
    return 0;
}

int WriteExactlyAt(int fd, std::uint64_t offset, const std::uint8_t* bytes, std::size_t size) {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t put = pwrite(fd, bytes + done, size - done, static_cast<off_t>(offset + done));
        if (put < 0 && errno == EINTR) {
            continue;
        }
        if (put <= 0) {
            return put < 0 ? errno : EIO;
        }
        done += static_cast<std::size_t>(put);
    }
    return 0;
}

} // namespace quarnix
