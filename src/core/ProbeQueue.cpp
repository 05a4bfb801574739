#include "core/ProbeQueue.h"

#include <algorithm>

namespace quarnix {

namespace {
// Two probes at once keep a disk and a second core busy; more only make a slow mount slower.
constexpr std::size_t kMaxProbeThreads = 2;
// How often finished probes are collected: rows appear without a visible delay.
constexpr int kCollectMilliseconds = 10;
} // namespace

ProbeQueue::ProbeQueue(QObject* parent) : QObject(parent) {
    m_collect.setInterval(kCollectMilliseconds);
    connect(&m_collect, &QTimer::timeout, this, &ProbeQueue::Deliver);
}

ProbeQueue::~ProbeQueue() {
    m_cancel.store(1);
    JoinThreads();
}

bool ProbeQueue::Start(std::vector<std::string> paths) {
    if (m_busy) {
        return false;
    }
    JoinThreads();
    m_paths = std::move(paths);
    m_results.assign(m_paths.size(), std::nullopt);
    m_next.store(0);
    m_cancel.store(0);
    m_delivered = 0;
    m_busy = true;
    m_collect.start();
    if (m_paths.empty()) {
        return true;
    }
    const std::size_t threads = std::min(kMaxProbeThreads, m_paths.size());
    for (std::size_t t = 0; t < threads; ++t) {
        m_threads.emplace_back([this] { Work(); });
    }
    return true;
}

void ProbeQueue::Cancel() {
    m_cancel.store(1);
}

void ProbeQueue::Work() {
    for (int i = m_next.fetch_add(1); i < static_cast<int>(m_paths.size()); i = m_next.fetch_add(1)) {
        MediaFacts facts = ProbeMedia(m_paths[static_cast<std::size_t>(i)], &m_cancel);
        {
            std::lock_guard lock(m_mutex);
            m_results[static_cast<std::size_t>(i)] = std::move(facts);
        }
    }
}

void ProbeQueue::Deliver() {
    while (m_busy) {
        std::optional<MediaFacts> facts;
        if (m_delivered < static_cast<int>(m_results.size())) {
            std::lock_guard lock(m_mutex);
            facts = std::move(m_results[static_cast<std::size_t>(m_delivered)]);
        }
        if (m_delivered < static_cast<int>(m_results.size()) && !facts) {
            return; // the next in order is still being probed
        }
        if (facts) {
            const int index = m_delivered++;
            emit Probed(index, *facts);
            continue;
        }
        m_busy = false;
        m_collect.stop();
        JoinThreads();
        emit Finished();
    }
}

void ProbeQueue::JoinThreads() {
    for (std::thread& thread : m_threads) {
        if (thread.joinable()) {
            thread.join();
        }
    }
    m_threads.clear();
}

} // namespace quarnix
