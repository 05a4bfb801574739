// Making the file list's pictures off the UI thread: one worker decodes a small picture of each file asked
// for, the rows in view first (an urgent request goes before the others), and the results are delivered on
// the owner's thread. The worker never touches Qt: results wait under a mutex until a timer on the owner's
// thread collects them, so the list never waits for a picture.
#pragma once

#include "engine/Probe.h"

#include <QObject>
#include <QSet>
#include <QString>
#include <QTimer>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

namespace quarnix {

class PictureQueue : public QObject {
    Q_OBJECT
public:
    // Pictures fit a square of maxSide pixels.
    explicit PictureQueue(int maxSide, QObject* parent = nullptr);
    // Stops the worker after the picture it is making (that one is cancelled) and waits for it.
    ~PictureQueue() override;

    // Asks for the picture of the file; a file asked for again is not made twice. An urgent request (a
    // row in view) goes before every other waiting one.
    void Request(const QString& path, bool urgent);
    // While held, only urgent requests are made: the others wait, so that pictures of rows out of view do
    // not take a processor from the probes of an adding that is still listing its files.
    void HoldOthers(bool held);
    // True while pictures are waiting or being made.
    bool Busy() const;

signals:
    // One per requested file: its picture, or nothing when it has no decodable one.
    void Ready(const QString& path, const std::optional<quarnix::PreviewPicture>& picture);

private:
    void Work();
    void Deliver();

    const int m_maxSide;
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<QString> m_urgent;                                          // guarded by m_mutex
    std::deque<QString> m_waiting;                                         // guarded by m_mutex
    std::vector<std::pair<QString, std::optional<PreviewPicture>>> m_done; // guarded by m_mutex
    int m_making = 0;                                                      // guarded by m_mutex
    bool m_stopping = false;                                               // guarded by m_mutex
    bool m_othersHeld = false;                                             // guarded by m_mutex
    std::atomic<std::uint8_t> m_cancel{0};
    QSet<QString> m_asked; // every path ever requested (owner's thread only)
    QTimer m_collect;
    std::thread m_worker;
};

} // namespace quarnix
