// A FIFO that stands in for an input file in tests of Stop and of blocked reads: the test holds it open for
// reading and writing, so whoever reads it gets the first part of a source file and then waits for more,
// never an end of file, until the pipe goes away.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <poll.h>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace quarnix::test {

// Makes the FIFO at path (replacing what is there) and feeds it 1/divisor of the source's bytes.
class StalledPipe {
public:
    StalledPipe(const std::string& path, const std::string& source, std::size_t divisor) {
        std::filesystem::remove(path);
        EXPECT_EQ(mkfifo(path.c_str(), 0600), 0);
        m_fd = open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
        EXPECT_GE(m_fd, 0);
        std::ifstream in(source, std::ios::binary);
        m_bytes.assign(std::istreambuf_iterator<char>(in), {});
        m_feeder = std::thread([this, divisor] {
            const std::size_t size = m_bytes.size() / divisor;
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
            for (std::size_t written = 0;
                 written < size && !m_stop && std::chrono::steady_clock::now() < deadline;) {
                const ssize_t n = write(m_fd, m_bytes.data() + written, size - written);
                if (n > 0) {
                    written += static_cast<std::size_t>(n);
                } else {
                    pollfd room{m_fd, POLLOUT, 0};
                    poll(&room, 1, 20);
                }
            }
            m_fed = true;
        });
    }
    StalledPipe(const StalledPipe&) = delete;
    StalledPipe& operator=(const StalledPipe&) = delete;
    ~StalledPipe() {
        m_stop = true;
        m_feeder.join();
        close(m_fd);
    }
    // The part has been written (and so mostly read: the pipe holds little).
    bool Fed() const { return m_fed; }

private:
    int m_fd = -1;
    std::string m_bytes;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_fed{false};
    std::thread m_feeder;
};

} // namespace quarnix::test
