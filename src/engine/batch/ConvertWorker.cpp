// The batch worker: for each entry it marks the file in place where its structure allows, else hands it to
// the media module for the remux or the re-encode (loaded then, not before); the committer then flushes the
// output, moves it to its name and publishes the entry's status and reason while the next entry is written.
// A failure fails that entry only; the end of the batch is published on every way out, after every commit.
#include "engine/Containers.h"
#include "engine/EngineLog.h"
#include "engine/batch/ConvertJob.h"
#include "engine/batch/EntryCommitter.h"
#include "engine/batch/EntryRecord.h"
#include "engine/io/OutputFile.h"
#include "engine/io/OutputName.h"
#include "engine/media/MediaLibraries.h"
#include "engine/remux/OutputContainer.h"

#include <algorithm>

extern "C" {
#include <libavutil/error.h>
}

namespace quarnix {

namespace {

const std::string& PathAt(const std::vector<std::string>& paths, int index) {
    static const std::string kEmpty;
    return index < static_cast<int>(paths.size()) ? paths[static_cast<std::size_t>(index)] : kEmpty;
}

// Publishes the end of the batch when the worker leaves, whichever way it leaves.
class BatchEndGuard {
public:
    BatchEndGuard(CConvertJob& job, int count) : m_job(job), m_count(count) {}
    BatchEndGuard(const BatchEndGuard&) = delete;
    BatchEndGuard& operator=(const BatchEndGuard&) = delete;
    ~BatchEndGuard() {
        m_job.m_currentFile.store(m_count, std::memory_order_release);
        m_job.m_finished.store(true, std::memory_order_release);
    }

private:
    CConvertJob& m_job;
    int m_count;
};

// Commits the complete output: flushed to the device with the input's date and permissions, moved to its
// name (numbered when that is taken) and its folder flushed; only then is it converted.
void CommitEntryOutput(EntryRecord& entry) {
    entry.outputFile.KeepDateAndMode(entry.inputIdentity);
    // Replacing an original: under its own name in one rename; under another name (its container changed)
    // beside it, and only then is the original removed.
    const bool overOriginal = entry.replaceOriginal && entry.outputPath == entry.inputPath;
    const CommitResult commit = overOriginal
                                    ? entry.outputFile.CommitOver(entry.inputPath, entry.inputIdentity)
                                    : entry.outputFile.Commit(entry.outputPath);
    switch (commit.failedStep) {
    case CommitStep::kNone:
        entry.outputPath = commit.committedPath;
        if (entry.replaceOriginal && !overOriginal) {
            const int removed = CreatedOutput::RemoveOriginal(entry.inputPath, entry.inputIdentity);
            AddNote(entry.note, removed == 0 ? OriginalRemovedNote(FileNameOf(entry.inputPath))
                                             : OriginalKeptNote(FileNameOf(entry.inputPath)));
        }
        if (entry.inputCutShort) {
            AddNote(entry.note, CutShortNote());
        }
        if (commit.way == CommitWay::kPlaceholder) {
            AddNote(entry.note, PlaceholderCommitNote());
        }
        return;
    case CommitStep::kFlush:
        FailEntry(entry, FailedStep::kWriteOutput, "flushing the output to the disk", commit.error);
        return;
    case CommitStep::kOriginalChanged:
        FailEntry(entry, FailedStep::kInputChanged, "replacing an original that did not change meanwhile",
                  commit.error);
        return;
    case CommitStep::kFolderMoved:
        FailEntry(entry, FailedStep::kFolderMoved, "moving the output to its name", commit.error);
        return;
    case CommitStep::kNotOurs:
        FailEntry(entry, FailedStep::kOutputVanished, "finding the finished output", commit.error);
        return;
    case CommitStep::kRename:
        FailEntry(entry,
                  commit.error == AVERROR(EINVAL) ? FailedStep::kOutputName : FailedStep::kCommitOutput,
                  "moving the output to its name", commit.error);
        return;
    }
}

// Part files that killed or crashed runs left in the batch's output folders; a part file being written by
// a running batch is locked and stays.
void RemoveStalePartFilesOf(const CConvertJob& job, int count) {
    std::vector<std::string> folders;
    for (int i = 0; i < count; ++i) {
        const std::string folder = FolderOf(PathAt(job.m_outputPaths, i));
        if (std::find(folders.begin(), folders.end(), folder) == folders.end()) {
            folders.push_back(folder);
            if (const int removed = RemoveStalePartFiles(folder); removed > 0) {
                LogLine(kLogInfo,
                        "quarnix: removed " + std::to_string(removed) + " stale part file(s) in " + folder);
            }
        }
    }
}

void PublishEntry(CConvertJob& job, int index, const EntryRecord& entry) {
    const auto at = static_cast<std::size_t>(index);
    FileStatus status = kFileStatusConverted;
    if (entry.failed) {
        status = kFileStatusFailed;
        job.m_entryReasons[at] = entry.reason.empty()
                                     ? PlainFailureReason(FailedStep::kWriteOutput, entry.lastError)
                                     : entry.reason;
    } else if (entry.cancelled) {
        status = kFileStatusPending;
    } else {
        job.m_outputPaths[at] = entry.outputPath;
        job.m_entryReasons[at] = entry.note;
        job.m_entryMethods[at] = entry.method.empty() ? "remuxed" : entry.method;
        job.m_entryWriteMethods[at] = entry.writeMethod;
    }
    job.m_fileStatus[at].store(status, std::memory_order_release);
}

// A file the worker can mark without the demuxer: a QuickTime-family one, or a Matroska one that stays
// Matroska by the user's choice (otherwise the demuxer tells whether an MP4 keeps all of it).
bool MarksWithoutMedia(const CConvertJob& job, const EntryRecord& entry) {
    if (entry.reencode) {
        return false;
    }
    return IsQuickTimeFamilyName(entry.outputPath) ||
           (IsMatroskaFamilyName(entry.outputPath) && job.m_keepMatroska != 0);
}

// Marks the entry in place where it can be without the media libraries; hands it to the media module for
// everything else, with what the in-place step said.
ConvertedEntry ConvertEntry(CConvertJob& job, std::unique_ptr<EntryRecord> entry) {
    bool inPlaceTried = false;
    if (MarksWithoutMedia(job, *entry)) {
        if (IsMatroskaFamilyName(entry->outputPath)) {
            entry->note = std::string(kMatroskaKeptNote); // kept by the user's choice, and said so
        }
        EntryEnd end = EntryEnd::kDone;
        if (MarkInPlaceIfPossible(job, *entry, end)) {
            return {std::move(entry), end};
        }
        inPlaceTried = true;
    }
    const MediaLibraries& media = LoadMediaLibraries();
    if (media.module == nullptr) {
        LogEntryFailure(*entry, "loading the media libraries", AVERROR(ELIBACC));
        entry->reason = MediaLibrariesMissingReason(media.error);
        entry->failed = true;
        return {std::move(entry), EntryEnd::kDone};
    }
    return media.module->ConvertEntry(job, *entry, inPlaceTried);
}

// The commit of a complete entry (on the committer's thread), then its status.
void CommitAndPublish(CConvertJob& job, EntryRecord& entry) {
    CommitEntryOutput(entry);
    if (entry.failed) {
        DiscardOutput(entry);
    }
    PublishEntry(job, entry.index, entry);
}

} // namespace

int ConvertThreadProc(CConvertJob* job) {
    const int count = std::clamp(job->m_fileCount, 0, CConvertJob::kMaxEntries);
    BatchEndGuard end(*job, count);
    if (static_cast<int>(job->m_entryReasons.size()) < count) {
        job->m_entryReasons.resize(static_cast<std::size_t>(count));
    }
    if (static_cast<int>(job->m_outputPaths.size()) < count) {
        job->m_outputPaths.resize(static_cast<std::size_t>(count));
    }
    if (static_cast<int>(job->m_entryMethods.size()) < count) {
        job->m_entryMethods.resize(static_cast<std::size_t>(count));
    }
    if (static_cast<int>(job->m_entryWriteMethods.size()) < count) {
        job->m_entryWriteMethods.resize(static_cast<std::size_t>(count), WriteMethod::kNone);
    }
    for (int i = 0; i < count; ++i) {
        job->m_fileStatus[static_cast<std::size_t>(i)].store(kFileStatusPending, std::memory_order_release);
    }
    RemoveStalePartFilesOf(*job, count);
    // Destroyed before the end guard: every complete entry is committed and published before the end.
    EntryCommitter committer([job](EntryRecord& entry) { CommitAndPublish(*job, entry); });
    for (int i = 0; i < count; ++i) {
        job->m_currentFile.store(i, std::memory_order_release);
        job->m_filePercent.store(0, std::memory_order_relaxed);
        job->m_audioClock = job->m_videoClock = 0.0;
        if (job->m_cancel.load(std::memory_order_acquire) != 0) {
            return 0;
        }

        auto request = std::make_unique<EntryRecord>();
        request->index = i;
        request->turn = job->TurnOfEntry(i);
        request->turnPictures = job->TurnsPicturesOf(i);
        request->reencode = job->m_reencode != 0 || request->turnPictures;
        request->replaceOriginal = job->m_replaceOriginals != 0;
        request->inputPath = PathAt(job->m_inputPaths, i);
        request->outputPath = PathAt(job->m_outputPaths, i);
        auto [state, entryEnd] = ConvertEntry(*job, std::move(request));
        EntryRecord& entry = *state;
        if (entry.awaitingCommit) {
            committer.Hand(std::move(state));
            continue;
        }
        PublishEntry(*job, i, entry);
        if (entryEnd == EntryEnd::kFolderGone) {
            // No later entry can be written either: each is failed with the same reason, none left looking
            // as if it will still run.
            for (int j = i + 1; j < count; ++j) {
                job->m_entryReasons[static_cast<std::size_t>(j)] = entry.reason;
                job->m_fileStatus[static_cast<std::size_t>(j)].store(kFileStatusFailed,
                                                                     std::memory_order_release);
            }
            return -1;
        }
    }
    return 0;
}

} // namespace quarnix
