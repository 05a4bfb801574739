#include "cli/CancelSignal.h"

#include <csignal>

namespace quarnix::cli {

namespace {
std::atomic<std::atomic<std::uint8_t>*> g_cancelFlag{nullptr};
std::atomic<std::atomic<std::uint8_t>*> g_batchFlag{nullptr};

extern "C" void OnInterrupt(int) {
    // Lock-free atomic stores are safe in a signal handler.
    if (std::atomic<std::uint8_t>* flag = g_cancelFlag.load()) {
        flag->store(1);
    }
    if (std::atomic<std::uint8_t>* flag = g_batchFlag.load()) {
        flag->store(1);
    }
}
} // namespace

static_assert(std::atomic<std::uint8_t>::is_always_lock_free);

CancelOnInterrupt::CancelOnInterrupt(std::atomic<std::uint8_t>& cancelFlag) {
    g_cancelFlag.store(&cancelFlag);
    // A closed terminal (SIGHUP) or a logout (SIGTERM) stops the batch as Ctrl-C does, so that the
    // current file's part file is removed rather than left behind by a killed process.
    std::signal(SIGINT, OnInterrupt);
    std::signal(SIGTERM, OnInterrupt);
    std::signal(SIGHUP, OnInterrupt);
}

void CancelOnInterrupt::AlsoCancel(std::atomic<std::uint8_t>* batchCancel) {
    g_batchFlag.store(batchCancel);
}

CancelOnInterrupt::~CancelOnInterrupt() {
    g_batchFlag.store(nullptr);
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    std::signal(SIGHUP, SIG_DFL);
    g_cancelFlag.store(nullptr);
}

} // namespace quarnix::cli
