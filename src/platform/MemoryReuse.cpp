#include "platform/MemoryReuse.h"

#include <mutex>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace quarnix {

namespace {
// Blocks up to this size come from the heap instead of a mapping of their own: a 4K luma plane fits.
constexpr int kMapThresholdBytes = 16 * 1024 * 1024;
// Free memory at the top of a heap is given back to the system only beyond this size.
constexpr int kTrimThresholdBytes = 16 * 1024 * 1024;
} // namespace

void ReuseFrameMemory() {
#if defined(__GLIBC__)
    static std::once_flag once;
    std::call_once(once, [] {
        // One heap for all threads: the worker then reuses the frames that the probe freed on another
        // thread, instead of keeping a second set of them resident.
        mallopt(M_ARENA_MAX, 1);
        mallopt(M_MMAP_THRESHOLD, kMapThresholdBytes);
        mallopt(M_TRIM_THRESHOLD, kTrimThresholdBytes);
    });
#endif
}

} // namespace quarnix
