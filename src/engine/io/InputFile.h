// Opening an input file so that a cancel reaches every read: the file is read through our own I/O
// callbacks over a non-blocking descriptor, which wait for data in short polls and give up as soon as
// the cancel flag is set. A pipe, a FIFO without a writer or a stalled device never holds up Stop.
#pragma once

#include "engine/io/CancelFlag.h"
#include "engine/io/FfmpegPtr.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

namespace quarnix {

// True when the flag exists and is set.
// The callback that FFmpeg polls during blocking operations; opaque is a const std::atomic<uint8_t>*.
AVIOInterruptCB InterruptOn(const std::atomic<std::uint8_t>* cancel);

// An opened input: the demuxer context over its own I/O context and file descriptor, released together.
class InputFile {
public:
    InputFile();
    InputFile(InputFile&&) noexcept;
    InputFile& operator=(InputFile&&) noexcept;
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;
    ~InputFile();

    // Opens the file and its demuxer (no stream analysis yet). Returns 0 or a negative AVERROR;
    // AVERROR_EXIT when the cancel flag stopped it.
    int Open(const std::string& utf8Path, const std::atomic<std::uint8_t>* cancel);

    AVFormatContext* get() const { return m_format.get(); }
    AVFormatContext* operator->() const { return m_format.get(); }
    AVFormatContext& operator*() const { return *m_format; }
    explicit operator bool() const { return m_format != nullptr; }
    void reset();

    struct Source; // the descriptor and cancel flag behind the I/O callbacks

private:
    InputFormatPtr m_format;
    AVIOContext* m_io = nullptr;
    std::unique_ptr<Source> m_source;
};

} // namespace quarnix
