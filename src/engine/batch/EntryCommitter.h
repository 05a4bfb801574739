// The last step of a converted entry runs beside the next entry: its output is flushed to the disk, moved
// to its name and its folder flushed on a thread of its own, so that waiting for the disk overlaps the copy
// of the next file instead of adding to it. Entries are committed, and published, in the order they were
// handed over; the worker hands over only entries whose output is complete.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace quarnix {

struct EntryRecord;

class EntryCommitter {
public:
    // commit flushes, names and publishes one entry; it runs on the committer's thread.
    explicit EntryCommitter(std::function<void(EntryRecord&)> commit);
    // Commits whatever was handed over, then ends the thread.
    ~EntryCommitter();
    EntryCommitter(const EntryCommitter&) = delete;
    EntryCommitter& operator=(const EntryCommitter&) = delete;

    // Hands a complete entry over; waits while kMaxWaiting entries are still waiting, so that no more than
    // a few outputs are ever open and unnamed.
    void Hand(std::unique_ptr<EntryRecord> entry);

private:
    static constexpr std::size_t kMaxWaiting = 2;
    void Run();

    std::function<void(EntryRecord&)> m_commit;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<std::unique_ptr<EntryRecord>> m_waiting; // guarded by m_mutex
    bool m_busy = false;                                // an entry is being committed; guarded by m_mutex
    bool m_ending = false;                              // guarded by m_mutex
    std::thread m_thread;
};

} // namespace quarnix
