#include "platform/MemoryReuse.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>

#if defined(__GLIBC__)
#include <fcntl.h>
#include <malloc.h>
#include <unistd.h>
#endif

namespace quarnix {

namespace {
// Blocks from this size on get a mapping of their own, given back to the system as soon as they are
// freed. A fixed value also stops the C library from raising the limit to the largest block freed so
// far, which would move every later input buffer and decoded picture into the heap. There such blocks
// leave holes that the small blocks which outlive a file (an entry's output path, a reason) split, so
// the next file's buffers no longer fit and extend the heap: resident memory then grew with the number
// of files (2,000 one-second MPEG-TS files: 320 MB with one heap, 100 MB with one heap per thread).
// With the limit here (and the watch below) it stays at 35-52 MB from 10 to 2,000 files on every path;
// the larger limit with the watch still reached 58-68 MB there. The price is that the planes of a 720p
// or larger picture are mapped afresh for each file: about 3,000 page faults and 6-9 ms of system time
// per 1080p file (ten 30 MB MPEG-TS files remuxed: 0.95 s instead of 0.76 s).
constexpr int kMapThresholdBytes = 256 * 1024;
// Free memory at the top of the heap is given back to the system only beyond this size, so the small
// blocks of one file are reused by the next.
constexpr int kTrimThresholdBytes = 16 * 1024 * 1024;

#if defined(__GLIBC__)
// How far resident memory may rise above its lowest level since the last trim before the free pages in
// the middle of the heap are given back.
constexpr long kResidentSlackBytes = 8L * 1024 * 1024;
// How often the resident size is looked at while it changes, and at most how long the watch sleeps while it
// stays put (an idle window): each look that finds it unchanged doubles the pause, a change resets it.
constexpr std::chrono::milliseconds kLookInterval{50};
constexpr std::chrono::milliseconds kIdleLookInterval{2000};
constexpr long kUnchangedBytes = 256L * 1024;

// Resident bytes of this process (the second field of /proc/self/statm, in pages), or -1.
long ResidentBytes(int statm) {
    char text[128];
    const ssize_t got = ::pread(statm, text, sizeof text - 1, 0);
    if (got <= 0) {
        return -1;
    }
    text[got] = '\0';
    long size = 0, resident = 0;
    if (std::sscanf(text, "%ld %ld", &size, &resident) != 2) {
        return -1;
    }
    return resident * ::sysconf(_SC_PAGESIZE);
}

// The blocks below the mapping size still leave holes that later small blocks split, so the heap's
// address range keeps growing with the number of files (by about 100 KB a file), and the C library gives
// back only the free memory at its top (2,000 one-second MPEG-TS files: 60 MB resident, rising). When the
// resident size has risen by the slack above its lowest level since the last trim, malloc_trim gives
// every free page back (the same batch: 52 MB); a batch whose memory is merely reused never gets there.
void WatchResidentMemory() {
    const int statm = ::open("/proc/self/statm", O_RDONLY | O_CLOEXEC);
    if (statm < 0) {
        return;
    }
    long lowest = -1;
    long previous = -1;
    std::chrono::milliseconds pause = kLookInterval;
    while (true) {
        std::this_thread::sleep_for(pause);
        long resident = ResidentBytes(statm);
        if (resident < 0) {
            break;
        }
        const bool unchanged = previous >= 0 && std::labs(resident - previous) < kUnchangedBytes;
        pause = unchanged ? std::min(pause * 2, kIdleLookInterval) : kLookInterval;
        previous = resident;
        if (lowest >= 0 && resident > lowest + kResidentSlackBytes) {
            ::malloc_trim(0);
            resident = ResidentBytes(statm);
            lowest = resident;
            previous = resident;
        } else if (lowest < 0 || resident < lowest) {
            lowest = resident;
        }
    }
    ::close(statm);
}
#endif
} // namespace

void TuneHeapForBatches() {
#if defined(__GLIBC__)
    static std::once_flag once;
    std::call_once(once, [] {
        // One heap for all threads: the worker reuses the blocks that the probe freed on another thread,
        // instead of keeping a second heap of them resident.
        mallopt(M_ARENA_MAX, 1);
        mallopt(M_MMAP_THRESHOLD, kMapThresholdBytes);
        mallopt(M_TRIM_THRESHOLD, kTrimThresholdBytes);
        // The watch runs for the life of the process; it holds nothing that exit would have to release.
        std::thread(WatchResidentMemory).detach();
    });
#endif
}

} // namespace quarnix
