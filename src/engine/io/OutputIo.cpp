#include "engine/io/OutputIo.h"

#include "engine/io/OutputFile.h"

#include <cerrno>
#include <cstdint>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

extern "C" {
#include <libavformat/avio.h>
#include <libavutil/error.h>
#include <libavutil/mem.h>
}

namespace quarnix {

namespace {

// The buffer the muxer fills before each write.
constexpr int kWriteBufferBytes = 1 << 20;

} // namespace

struct OutputIo::State {
    int fd = -1;
    WritebackStarter writeback{-1};
};

namespace {

int WriteToFile(void* opaque, std::uint8_t* buffer, int size) {
    // A cancel is noticed between packets; a write is never cut off halfway, which would fail the entry
    // instead of leaving it pending.
    auto& state = *static_cast<OutputIo::State*>(opaque);
    int done = 0;
    while (done < size) {
        const ssize_t put = ::write(state.fd, buffer + done, static_cast<std::size_t>(size - done));
        if (put < 0 && errno == EINTR) {
            continue;
        }
        if (put <= 0) {
            return put < 0 ? AVERROR(errno) : AVERROR(EIO);
        }
        done += static_cast<int>(put);
    }
    state.writeback.Wrote(static_cast<std::uint64_t>(size));
    return size;
}

std::int64_t SeekInFile(void* opaque, std::int64_t offset, int whence) {
    auto& state = *static_cast<OutputIo::State*>(opaque);
    if (whence & AVSEEK_SIZE) {
        struct stat info {};
        return ::fstat(state.fd, &info) == 0 ? static_cast<std::int64_t>(info.st_size) : AVERROR(errno);
    }
    const off_t at = ::lseek(state.fd, static_cast<off_t>(offset), whence & ~AVSEEK_FORCE);
    return at < 0 ? AVERROR(errno) : static_cast<std::int64_t>(at);
}

} // namespace

int OutputIo::Open(int fd, AVIOContext** pb) {
    if (fd < 0 || m_io != nullptr) {
        return AVERROR(EINVAL);
    }
    auto* buffer = static_cast<std::uint8_t*>(av_malloc(kWriteBufferBytes));
    if (buffer == nullptr) {
        return AVERROR(ENOMEM);
    }
    auto* state = new (std::nothrow) State;
    if (state == nullptr) {
        av_free(buffer);
        return AVERROR(ENOMEM);
    }
    state->fd = fd;
    state->writeback = WritebackStarter(fd);
    AVIOContext* io =
        avio_alloc_context(buffer, kWriteBufferBytes, 1, state, nullptr, &WriteToFile, &SeekInFile);
    if (io == nullptr) {
        av_free(buffer);
        delete state;
        return AVERROR(ENOMEM);
    }
    io->seekable = AVIO_SEEKABLE_NORMAL;
    m_io = io;
    m_state = state;
    *pb = io;
    return 0;
}

int OutputIo::Close() {
    if (m_io == nullptr) {
        return 0;
    }
    avio_flush(m_io);
    const int error = m_io->error;
    av_freep(&m_io->buffer);
    avio_context_free(&m_io);
    delete m_state;
    m_state = nullptr;
    return error < 0 ? error : 0;
}

} // namespace quarnix
