// Ending the window's process from outside (SIGTERM at logout, SIGHUP when the terminal it was started
// from goes away, SIGINT from Ctrl-C there) closes the window as its close box does: a running batch is
// stopped and its part file removed before the program ends, never left behind by a killed process.
#pragma once

#include <memory>

class QSocketNotifier;
class QWidget;

namespace quarnix {

class CloseOnTermination {
public:
    // While alive, those signals close the window from its event loop (the handler only writes a byte).
    explicit CloseOnTermination(QWidget& window);
    ~CloseOnTermination();
    CloseOnTermination(const CloseOnTermination&) = delete;
    CloseOnTermination& operator=(const CloseOnTermination&) = delete;

private:
    int m_pipe[2] = {-1, -1};
    std::unique_ptr<QSocketNotifier> m_notifier;
};

} // namespace quarnix
