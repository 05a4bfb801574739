// Probing files off the UI thread: a few worker threads (at most two) probe the queued paths while the
// window stays responsive; the results are delivered on the owner's thread in the order the paths were
// queued, so rows appear in the order the user added the files. The probe threads never touch Qt: they
// store results under a mutex, and a timer on the owner's thread collects them.
#pragma once

#include "engine/Probe.h"

#include <QObject>
#include <QTimer>
#include <atomic>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace quarnix {

class ProbeQueue : public QObject {
    Q_OBJECT
public:
    explicit ProbeQueue(QObject* parent = nullptr);
    // Cancels what is still queued and waits for the threads.
    ~ProbeQueue() override;

    // Probes the paths (UTF-8). Only when not busy; returns false otherwise.
    bool Start(std::vector<std::string> paths);
    bool Busy() const { return m_busy; }
    // Stops probing: files not yet probed are delivered as cancelled refusals.
    void Cancel();

signals:
    // One per queued path, in queue order.
    void Probed(int index, const quarnix::MediaFacts& facts);
    // After the last Probed of a Start.
    void Finished();

private:
    void Work();
    void Deliver();
    void JoinThreads();

    std::vector<std::string> m_paths;
    std::vector<std::optional<MediaFacts>> m_results; // guarded by m_mutex
    std::mutex m_mutex;
    std::atomic<int> m_next{0};
    std::atomic<std::uint8_t> m_cancel{0};
    std::vector<std::thread> m_threads;
    QTimer m_collect; // collects finished results on the owner's thread while busy
    int m_delivered = 0;
    bool m_busy = false;
};

} // namespace quarnix
