// The cancel flag that the front ends hand the engine: non-zero once the work is to stop.
#pragma once

#include <atomic>
#include <cstdint>

namespace quarnix {

inline bool IsCancelled(const std::atomic<std::uint8_t>* cancel) {
    return cancel != nullptr && cancel->load(std::memory_order_relaxed) != 0;
}

} // namespace quarnix
