#include "engine/io/InputFile.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quarnix {

namespace {

// Large reads: the demuxers read sequentially, and fewer system calls keep the copy near disk speed.
constexpr int kReadBufferBytes = 1 << 20;
// How long one wait for data lasts before the cancel flag is looked at again.
constexpr int kPollMilliseconds = 50;

int CheckInterrupt(void* opaque) {
    return IsCancelled(static_cast<const std::atomic<std::uint8_t>*>(opaque)) ? 1 : 0;
}

} // namespace

struct InputFile::Source {
    int fd = -1;
    bool pipe = false; // a FIFO or pipe: no data yet is not the end, until the writer has gone
    const std::atomic<std::uint8_t>* cancel = nullptr;
    ~Source() {
        if (fd >= 0) {
            ::close(fd);
        }
    }
};

namespace {

int ReadSource(void* opaque, std::uint8_t* buffer, int size) {
    auto& source = *static_cast<InputFile::Source*>(opaque);
    while (true) {
        if (IsCancelled(source.cancel)) {
            return AVERROR_EXIT;
        }
        const ssize_t got = ::read(source.fd, buffer, static_cast<std::size_t>(size));
        if (got > 0) {
            return static_cast<int>(got);
        }
        if (got == 0) {
            if (!source.pipe) {
                return AVERROR_EOF;
            }
            // A FIFO read without a writer gives nothing: wait for one, and for its data, until it hangs up.
            pollfd waiting{source.fd, POLLIN, 0};
            if (::poll(&waiting, 1, kPollMilliseconds) > 0 && (waiting.revents & POLLHUP) &&
                !(waiting.revents & POLLIN)) {
                return AVERROR_EOF;
            }
            continue;
        }
        if (errno == EINTR) {
            continue;
        }
        if (errno != EAGAIN && errno != EWOULDBLOCK) {
            return AVERROR(errno);
        }
        pollfd waiting{source.fd, POLLIN, 0};
        ::poll(&waiting, 1, kPollMilliseconds);
    }
}

std::int64_t SeekSource(void* opaque, std::int64_t offset, int whence) {
    auto& source = *static_cast<InputFile::Source*>(opaque);
    if (whence & AVSEEK_SIZE) {
        struct stat info {};
        if (::fstat(source.fd, &info) != 0) {
            return AVERROR(errno);
        }
        return S_ISREG(info.st_mode) ? static_cast<std::int64_t>(info.st_size) : AVERROR(ENOSYS);
    }
    const off_t at = ::lseek(source.fd, static_cast<off_t>(offset), whence & ~AVSEEK_FORCE);
    return at < 0 ? AVERROR(errno) : static_cast<std::int64_t>(at);
}

} // namespace

AVIOInterruptCB InterruptOn(const std::atomic<std::uint8_t>* cancel) {
    return AVIOInterruptCB{cancel != nullptr ? &CheckInterrupt : nullptr,
                           const_cast<std::atomic<std::uint8_t>*>(cancel)};
}

InputFile::InputFile() = default;

InputFile::InputFile(InputFile&& other) noexcept
    : m_format(std::move(other.m_format)), m_io(other.m_io), m_source(std::move(other.m_source)) {
    other.m_io = nullptr;
}

InputFile& InputFile::operator=(InputFile&& other) noexcept {
    if (this != &other) {
        reset();
        m_format = std::move(other.m_format);
        m_io = other.m_io;
        m_source = std::move(other.m_source);
        other.m_io = nullptr;
    }
    return *this;
}

InputFile::~InputFile() {
    reset();
}

void InputFile::reset() {
    // The demuxer goes first: it may still refer to the I/O context, which refers to the descriptor.
    m_format.reset();
    if (m_io != nullptr) {
        av_freep(&m_io->buffer);
        avio_context_free(&m_io);
    }
    m_source.reset();
}

int InputFile::Open(const std::string& utf8Path, const std::atomic<std::uint8_t>* cancel) {
    reset();
    auto source = std::make_unique<Source>();
    source->cancel = cancel;
    // Non-blocking, so that opening a FIFO without a writer returns at once and reads can be given up.
    source->fd = ::open(utf8Path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (source->fd < 0) {
        return AVERROR(errno);
    }
    struct stat info {};
    if (::fstat(source->fd, &info) != 0) {
        return AVERROR(errno);
    }
    if (S_ISDIR(info.st_mode)) {
        return AVERROR(EISDIR);
    }
    source->pipe = S_ISFIFO(info.st_mode);
    auto* buffer = static_cast<std::uint8_t*>(av_malloc(kReadBufferBytes));
    if (buffer == nullptr) {
        return AVERROR(ENOMEM);
    }
    AVIOContext* io = avio_alloc_context(buffer, kReadBufferBytes, 0, source.get(), &ReadSource, nullptr,
                                         S_ISREG(info.st_mode) ? &SeekSource : nullptr);
    if (io == nullptr) {
        av_free(buffer);
        return AVERROR(ENOMEM);
    }
    m_io = io;
    m_source = std::move(source);

    AVFormatContext* raw = avformat_alloc_context();
    if (raw == nullptr) {
        reset();
        return AVERROR(ENOMEM);
    }
    raw->pb = m_io;
    raw->flags |= AVFMT_FLAG_CUSTOM_IO;
    raw->interrupt_callback = InterruptOn(cancel);
    // On failure avformat_open_input frees the context (not our I/O context).
    if (int rc = avformat_open_input(&raw, utf8Path.c_str(), nullptr, nullptr); rc < 0) {
        reset();
        return IsCancelled(cancel) ? AVERROR_EXIT : rc;
    }
    m_format.reset(raw);
    return 0;
}

} // namespace quarnix
