#include "ui/main/WindowTrace.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QTimer>

#include <cstdio>
#include <memory>

namespace quarnix::window_trace {

namespace {

constexpr int kWatchIntervalMs = 20;
constexpr qint64 kReportedLatenessMs = 50;

// Opened once on first use; null when tracing is off or the file cannot be written.
std::FILE* TraceFile() {
    static std::FILE* const file = []() -> std::FILE* {
        const QByteArray path = qgetenv("QUARNIX_WINDOW_TRACE");
        if (path.isEmpty()) {
            return nullptr;
        }
        std::FILE* opened = std::fopen(path.constData(), "we");
        if (opened == nullptr) {
            std::fprintf(stderr, "quarnix: the window trace %s cannot be written\n", path.constData());
        }
        return opened;
    }();
    return file;
}

} // namespace

bool Enabled() {
    return TraceFile() != nullptr;
}

void Note(const char* event, long long first, long long second) {
    std::FILE* file = TraceFile();
    if (file == nullptr) {
        return;
    }
    std::fprintf(file, "%lld %s", static_cast<long long>(QDateTime::currentMSecsSinceEpoch()), event);
    if (first >= 0) {
        std::fprintf(file, " %lld", first);
    }
    if (second >= 0) {
        std::fprintf(file, " %lld", second);
    }
    std::fputc('\n', file);
    std::fflush(file);
}

void StartStallWatch(QObject* parent) {
    if (!Enabled()) {
        return;
    }
    auto* timer = new QTimer(parent);
    timer->setTimerType(Qt::PreciseTimer);
    auto since = std::make_shared<QElapsedTimer>();
    since->start();
    QObject::connect(timer, &QTimer::timeout, parent, [since] {
        const qint64 late = since->restart() - kWatchIntervalMs;
        if (late >= kReportedLatenessMs) {
            Note("stall", late);
        }
    });
    timer->start(kWatchIntervalMs);
}

} // namespace quarnix::window_trace
