#include "RunningBatch.h"

namespace quarnix {

RunningBatch::RunningBatch(std::unique_ptr<CConvertJob> job) : m_job(std::move(job)) {
    m_worker = std::thread([this] { m_result = ConvertThreadProc(m_job.get()); });
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

void RunningBatch::Wait() {
    if (m_worker.joinable()) {
        m_worker.join();
    }
}

} // namespace quarnix
