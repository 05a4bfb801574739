#include "cli/CancelSignal.h"

#include <csignal>

namespace quarnix::cli {

namespace {
std::atomic<std::atomic<std::uint8_t>*> g_cancelFlag{nullptr};

extern "C" void OnInterrupt(int) {
    // Lock-free atomic stores are safe in a signal handler.
    if (std::atomic<std::uint8_t>* flag = g_cancelFlag.load()) {
        flag->store(1);
    }
}
} // namespace

static_assert(std::atomic<std::uint8_t>::is_always_lock_free);

CancelOnInterrupt::CancelOnInterrupt(std::atomic<std::uint8_t>& cancelFlag) {
    g_cancelFlag.store(&cancelFlag);
    std::signal(SIGINT, OnInterrupt);
    std::signal(SIGTERM, OnInterrupt);
}

CancelOnInterrupt::~CancelOnInterrupt() {
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    g_cancelFlag.store(nullptr);
}

} // namespace quarnix::cli
