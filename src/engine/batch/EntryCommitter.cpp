#include "engine/batch/EntryCommitter.h"

#include "engine/batch/EntryRecord.h"

namespace quarnix {

EntryCommitter::EntryCommitter(std::function<void(EntryRecord&)> commit)
    : m_commit(std::move(commit)), m_thread([this] { Run(); }) {}

EntryCommitter::~EntryCommitter() {
    {
        const std::lock_guard lock(m_mutex);
        m_ending = true;
    }
    m_changed.notify_all();
    m_thread.join();
}

void EntryCommitter::Hand(std::unique_ptr<EntryRecord> entry) {
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return m_waiting.size() + (m_busy ? 1 : 0) < kMaxWaiting; });
    m_waiting.push_back(std::move(entry));
    lock.unlock();
    m_changed.notify_all();
}

void EntryCommitter::Run() {
    std::unique_lock lock(m_mutex);
    while (true) {
        m_changed.wait(lock, [this] { return !m_waiting.empty() || m_ending; });
        if (m_waiting.empty()) {
            return;
        }
        std::unique_ptr<EntryRecord> entry = std::move(m_waiting.front());
        m_waiting.pop_front();
        m_busy = true;
        lock.unlock();
        m_commit(*entry);
        entry.reset();
        lock.lock();
        m_busy = false;
        m_changed.notify_all();
    }
}

} // namespace quarnix
