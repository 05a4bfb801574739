// A deliberate data race, built only for ThreadSanitizer: a worker thread writes a plain int while a QTimer
// slot on the main thread reads it, the way the window reads a worker's progress. Its test passes only when
// ThreadSanitizer reports the race with tests/tsan-suppressions.txt in force, so no suppression can hide a
// race of ours because Qt's event loop is on the stack.
#include <QCoreApplication>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

namespace {

int g_progress = 0; // deliberately neither atomic nor guarded

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    std::atomic<bool> stop{false};
    std::thread worker([&stop] {
        while (!stop.load(std::memory_order_relaxed)) {
            ++g_progress;
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    });

    int ticks = 0;
    long long seen = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        seen += g_progress;
        if (++ticks == 20) {
            app.quit();
        }
    });
    timer.start(5);
    app.exec();

    stop = true;
    worker.join();
    std::printf("read the worker's count %d times (sum %lld)\n", ticks, seen);
    return 0;
}
