#include "core/PictureQueue.h"

#include <algorithm>

namespace quarnix {

namespace {
// Finished pictures are collected this often: fast enough to look immediate, rare enough to cost nothing.
constexpr int kCollectMilliseconds = 30;
} // namespace

PictureQueue::PictureQueue(int maxSide, QObject* parent) : QObject(parent), m_maxSide(maxSide) {
    m_collect.setInterval(kCollectMilliseconds);
    connect(&m_collect, &QTimer::timeout, this, &PictureQueue::Deliver);
    m_worker = std::thread([this] { Work(); });
}

PictureQueue::~PictureQueue() {
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
        m_urgent.clear();
        m_waiting.clear();
    }
    m_cancel.store(1);
    m_wake.notify_all();
    m_worker.join();
}

void PictureQueue::Request(const QString& path, bool urgent) {
    const bool askedBefore = m_asked.contains(path);
    {
        std::lock_guard lock(m_mutex);
        if (askedBefore) {
            // Only a request still waiting can move ahead; one made, being made or already urgent is not
            // made again.
            const auto waiting = std::find(m_waiting.begin(), m_waiting.end(), path);
            if (!urgent || waiting == m_waiting.end()) {
                return;
            }
            m_waiting.erase(waiting);
        }
        if (urgent) {
            m_urgent.push_front(path);
        } else {
            m_waiting.push_back(path);
        }
    }
    if (!askedBefore) {
        m_asked.insert(path);
    }
    m_wake.notify_one();
    if (!m_collect.isActive()) {
        m_collect.start();
    }
}

void PictureQueue::HoldOthers(bool held) {
    {
        std::lock_guard lock(m_mutex);
        m_othersHeld = held;
    }
    m_wake.notify_one();
}

bool PictureQueue::Busy() const {
    std::lock_guard lock(m_mutex);
    return !m_urgent.empty() || !m_waiting.empty() || m_making > 0 || !m_done.empty();
}

void PictureQueue::Work() {
    for (;;) {
        QString path;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] {
                return m_stopping || !m_urgent.empty() || (!m_othersHeld && !m_waiting.empty());
            });
            if (m_stopping) {
                return;
            }
            std::deque<QString>& from = m_urgent.empty() ? m_waiting : m_urgent;
            path = from.front();
            from.pop_front();
            ++m_making;
        }
        std::optional<PreviewPicture> picture =
            MakePreviewPicture(path.toUtf8().toStdString(), m_maxSide, &m_cancel);
        std::lock_guard lock(m_mutex);
        m_done.emplace_back(std::move(path), std::move(picture));
        --m_making;
    }
}

void PictureQueue::Deliver() {
    std::vector<std::pair<QString, std::optional<PreviewPicture>>> done;
    bool idle = false;
    {
        std::lock_guard lock(m_mutex);
        done.swap(m_done);
        idle = m_urgent.empty() && m_waiting.empty() && m_making == 0;
    }
    for (const auto& [path, picture] : done) {
        emit Ready(path, picture);
    }
    if (idle) {
        m_collect.stop();
    }
}

} // namespace quarnix
