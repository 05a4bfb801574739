// A batch in progress: owns the job and the worker thread that runs it. The front ends read the progress
// record (current entry, percentage, statuses, reasons) and may cancel; the batch is joined when it is
// destroyed, so no worker outlives the program's view of it.
#pragma once

#include "engine/batch/ConvertJob.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace quarnix {

class RunningBatch {
public:
    // Starts the worker on the job. onEnd, when given, is called on the worker's thread once the end of the
    // batch is published (Finished() is true and WaitFor returns at once): a front end can wake its own
    // thread with it instead of noticing the end at its next look. It must return quickly and must not
    // destroy the batch.
    explicit RunningBatch(std::unique_ptr<CConvertJob> job, std::function<void()> onEnd = {});
    RunningBatch(const RunningBatch&) = delete;
    RunningBatch& operator=(const RunningBatch&) = delete;
    // Cancels the batch if it still runs and waits for the worker.
    ~RunningBatch();

    // Asks the worker to stop now: the current entry is abandoned and removed, the rest stay pending.
    // Returns at once; a read that waits for data notices it within a fraction of a second.
    void Cancel();
    bool Cancelled() const { return m_job->m_cancel.load(std::memory_order_relaxed) != 0; }
    // True once the worker has published the end of the batch.
    bool Finished() const { return m_job->m_finished.load(std::memory_order_acquire); }
    // Waits until the worker has ended. Afterwards every entry's status, reason and output path are final.
    void Wait();
    // Waits until the worker has ended or the timeout has passed, whichever comes first; true when the
    // worker has ended. Lets a front end that also watches for other events return as soon as the batch
    // ends rather than at its next look.
    bool WaitFor(std::chrono::milliseconds timeout);

    int EntryCount() const { return m_job->m_fileCount; }
    int CurrentEntry() const { return m_job->m_currentFile.load(std::memory_order_acquire); }
    int FilePercent() const { return m_job->m_filePercent.load(std::memory_order_relaxed); }
    std::int8_t StatusOf(int entry) const { return m_job->StatusOf(entry); }
    // The entry's status, paths, reason and method; the fields beyond the status are final once it is.
    EntryOutcome OutcomeOf(int entry) const { return m_job->OutcomeOf(entry); }
    // The job itself: its request fields, and per entry the reason and output path once its status is final.
    const CConvertJob& Job() const { return *m_job; }
    // The worker's return value; valid after Wait().
    int Result() const { return m_result; }

private:
    std::unique_ptr<CConvertJob> m_job;
    std::function<void()> m_onEnd; // set before the worker starts, then only read by it
    int m_result = 0;
    std::mutex m_endMutex;
    std::condition_variable m_endSignal;
    bool m_ended = false; // the worker's function has returned; guarded by m_endMutex
    std::thread m_worker;
};

} // namespace quarnix
