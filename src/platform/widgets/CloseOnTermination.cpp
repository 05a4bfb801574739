#include "platform/widgets/CloseOnTermination.h"

#include <QPointer>
#include <QSocketNotifier>
#include <QWidget>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace quarnix {

namespace {

constexpr int kSignals[] = {SIGTERM, SIGHUP, SIGINT};
std::atomic<int> g_writeEnd{-1};

extern "C" void OnTermination(int) {
    const int saved = errno;
    if (const int fd = g_writeEnd.load(); fd >= 0) {
        const char byte = 1;
        [[maybe_unused]] const ssize_t put = ::write(fd, &byte, 1);
    }
    errno = saved;
}

} // namespace

static_assert(std::atomic<int>::is_always_lock_free);

CloseOnTermination::CloseOnTermination(QWidget& window) {
    if (::pipe2(m_pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        m_pipe[0] = m_pipe[1] = -1;
        return;
    }
    m_notifier = std::make_unique<QSocketNotifier>(m_pipe[0], QSocketNotifier::Read);
    QObject::connect(m_notifier.get(), &QSocketNotifier::activated, &window,
                     [readEnd = m_pipe[0], target = QPointer<QWidget>(&window)] {
                         char bytes[16];
                         while (::read(readEnd, bytes, sizeof bytes) > 0) {
                         }
                         if (target) {
                             target->close();
                         }
                     });
    g_writeEnd.store(m_pipe[1]);
    struct sigaction action {};
    action.sa_handler = OnTermination;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : kSignals) {
        ::sigaction(signal, &action, nullptr);
    }
}

CloseOnTermination::~CloseOnTermination() {
    for (const int signal : kSignals) {
        std::signal(signal, SIG_DFL);
    }
    g_writeEnd.store(-1);
    m_notifier.reset();
    for (const int fd : m_pipe) {
        if (fd >= 0) {
            ::close(fd);
        }
    }
}

} // namespace quarnix
