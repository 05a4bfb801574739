#include "engine/batch/RunningBatch.h"

namespace quarnix {

RunningBatch::RunningBatch(std::unique_ptr<CConvertJob> job, std::function<void()> onEnd)
    : m_job(std::move(job)), m_onEnd(std::move(onEnd)) {
    m_worker = std::thread([this] {
        m_result = ConvertThreadProc(m_job.get());
        {
            const std::lock_guard<std::mutex> lock(m_endMutex);
            m_ended = true;
            m_endSignal.notify_all();
        }
        if (m_onEnd) {
            m_onEnd();
        }
    });
}

RunningBatch::~RunningBatch() {
    Cancel();
    Wait();
}

void RunningBatch::Cancel() {
    if (!Finished()) {
        m_job->m_cancel.store(1, std::memory_order_relaxed);
    }
}

bool RunningBatch::WaitFor(std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(m_endMutex);
    return m_endSignal.wait_for(lock, timeout, [this] { return m_ended; });
}

void RunningBatch::Wait() {
    if (m_worker.joinable()) {
        m_worker.join();
    }
}

} // namespace quarnix
