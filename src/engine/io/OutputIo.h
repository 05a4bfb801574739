// The AVIOContext through which a muxer writes a created output: it writes through the output's descriptor
// (never by name) and starts the kernel's write-back every few tens of MiB.
#pragma once

struct AVIOContext;

namespace quarnix {

class OutputIo {
public:
    OutputIo() = default;
    OutputIo(const OutputIo&) = delete;
    OutputIo& operator=(const OutputIo&) = delete;
    ~OutputIo() { Close(); }

    // Opens the context over the descriptor fd (which stays the caller's) and hands it out through pb.
    // 0, or a negative AVERROR (EINVAL when fd is not open or a context is open already).
    int Open(int fd, AVIOContext** pb);
    // Flushes and frees the context; returns its first write error (negative AVERROR) or 0.
    int Close();

    struct State; // the descriptor and write-back behind the context's callbacks

private:
    AVIOContext* m_io = nullptr;
    State* m_state = nullptr;
};

} // namespace quarnix
