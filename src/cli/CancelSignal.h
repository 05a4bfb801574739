// Ctrl-C during a batch asks the worker to stop, exactly as the progress window's Stop button does.
#pragma once

#include <atomic>
#include <cstdint>

namespace quarnix::cli {

// While alive, SIGINT (and SIGTERM) set the flag instead of killing the process.
class CancelOnInterrupt {
public:
    explicit CancelOnInterrupt(std::atomic<std::uint8_t>& cancelFlag);
    ~CancelOnInterrupt();
    CancelOnInterrupt(const CancelOnInterrupt&) = delete;
    CancelOnInterrupt& operator=(const CancelOnInterrupt&) = delete;
};

} // namespace quarnix::cli
