// Ctrl-C during a batch asks the worker to stop, exactly as the progress window's Stop button does.
#pragma once

#include <atomic>
#include <cstdint>

namespace quarnix::cli {

// While alive, SIGINT, SIGTERM and SIGHUP set the flag instead of killing the process.
class CancelOnInterrupt {
public:
    explicit CancelOnInterrupt(std::atomic<std::uint8_t>& cancelFlag);
    ~CancelOnInterrupt();
    // Also sets the running batch's own cancel flag, so that the worker stops at its next packet rather
    // than when the command next looks (nullptr: no longer; before the batch goes).
    void AlsoCancel(std::atomic<std::uint8_t>* batchCancel);
    CancelOnInterrupt(const CancelOnInterrupt&) = delete;
    CancelOnInterrupt& operator=(const CancelOnInterrupt&) = delete;
};

} // namespace quarnix::cli
