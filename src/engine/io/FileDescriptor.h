// A file descriptor owned by a scope: closed when the scope ends, or earlier by Close(), which reports a
// close that failed (on some file systems the last write's error only shows there).
#pragma once

#include <cerrno>
#include <unistd.h>

namespace quarnix {

class FileDescriptor {
public:
    explicit FileDescriptor(int fd = -1) : m_fd(fd) {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor() { Close(); }

    int get() const { return m_fd; }

    // Closes the descriptor held (its close error is dropped) and takes fd.
    void Reset(int fd) {
        Close();
        m_fd = fd;
    }

    // Closes now; returns 0, or the errno of a close that failed.
    int Close() {
        const int fd = m_fd;
        m_fd = -1;
        return fd >= 0 && ::close(fd) != 0 ? errno : 0;
    }

private:
    int m_fd;
};

} // namespace quarnix
