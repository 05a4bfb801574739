// The steps of a batch entry that need no media library: failing it, its temporary output, and marking
// it in place. The worker and the media module's remux both use them.
#include "engine/Containers.h"
#include "engine/EngineLog.h"
#include "engine/batch/EntryRecord.h"
#include "engine/inplace/MarkInPlace.h"
#include "engine/io/FileDescriptor.h"
#include "engine/io/OutputName.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

extern "C" {
#include <libavutil/error.h>
}

namespace quarnix {

void CopyEntryRequest(const EntryRecord& from, EntryRecord& to) {
    to.index = from.index;
    to.turn = from.turn;
    to.turnPictures = from.turnPictures;
    to.reencode = from.reencode;
    to.replaceOriginal = from.replaceOriginal;
    to.inputPath = from.inputPath;
    to.outputPath = from.outputPath;
    to.method = from.method;
    to.writeMethod = from.writeMethod;
    to.note = from.note;
    to.inputCutShort = from.inputCutShort;
}

void LogEntryFailure(const EntryRecord& entry, const char* step, int errorCode) {
    entry.lastError = errorCode;
    // The technical detail; users read the plain reason, the log shows it with --verbose.
    LogLine(kLogInfo, "quarnix: entry " + std::to_string(entry.index) + " (" + entry.inputPath +
                          "): " + step + " failed: " + ErrorText(errorCode));
}

void FailEntry(EntryRecord& entry, FailedStep step, const char* what, int errorCode) {
    LogEntryFailure(entry, what, errorCode);
    if (!entry.failed) {
        entry.reason = PlainFailureReason(step, errorCode);
    }
    entry.failed = true;
}

bool WasCancelled(const CConvertJob& job, EntryRecord& entry) {
    if (job.m_cancel.load(std::memory_order_relaxed) != 0) {
        entry.cancelled = true;
    }
    return entry.cancelled;
}

bool CreateTemporaryFor(EntryRecord& entry, EntryEnd& end) {
    if (NameTooLong(entry.outputPath)) {
        FailEntry(entry, FailedStep::kOutputName, "naming the output", AVERROR(ENAMETOOLONG));
        return false;
    }
    bool folderGone = false;
    if (int rc = entry.outputFile.Create(entry.outputPath, folderGone); rc < 0) {
        folderGone = folderGone || !IsFolder(FolderOf(entry.outputPath));
        // A name the file system refuses (":" on exFAT or FAT) gives EINVAL, or ENOENT through FUSE while
        // the folder is still there.
        const bool nameRefused =
            rc == AVERROR(EINVAL) || rc == AVERROR(EILSEQ) || (rc == AVERROR(ENOENT) && !folderGone);
        const FailedStep step = folderGone    ? FailedStep::kFolderGone
                                : nameRefused ? FailedStep::kOutputName
                                              : FailedStep::kCreateOutput;
        FailEntry(entry, step, "creating the output file", nameRefused ? AVERROR(EINVAL) : rc);
        end = folderGone ? EntryEnd::kFolderGone : EntryEnd::kDone;
        return false;
    }
    return true;
}

void DiscardOutput(EntryRecord& entry) {
    const bool folderMoved = entry.outputFile.FolderMoved();
    entry.outputFile.Remove();
    if (folderMoved && entry.failed) {
        entry.reason = PlainFailureReason(FailedStep::kFolderMoved, AVERROR(ENOENT));
    }
}

void FinishRecord(EntryRecord& entry, bool complete) {
    if (!entry.outputFile.created()) {
        return;
    }
    if (complete && !entry.failed && !entry.cancelled) {
        entry.outputFile.StartWriteback();
        entry.awaitingCommit = true;
        return;
    }
    DiscardOutput(entry);
}

bool MarkInPlaceIfPossible(CConvertJob& job, EntryRecord& entry, EntryEnd& end) {
    if (entry.reencode) {
        entry.method = "re-encoded";
        entry.writeMethod = WriteMethod::kReencoded;
        return false;
    }
    const bool quickTime = IsQuickTimeFamilyName(entry.outputPath);
    if (!quickTime && !IsMatroskaFamilyName(entry.outputPath)) {
        entry.method = "remuxed: not a QuickTime-family or Matroska container";
        return false;
    }
    // Only regular files qualify. A FIFO is not even opened here: opening and closing it would take the
    // place of the reader its writer is waiting for. Non-blocking, should it have become one meanwhile.
    struct stat info {};
    if (::stat(entry.inputPath.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
        entry.method = "remuxed: the input is not a regular file";
        return false;
    }
    FileDescriptor input(::open(entry.inputPath.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (input.get() < 0 || ::fstat(input.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        entry.method = "remuxed: the input is not a regular file";
        return false;
    }
    // Planned before any output exists: a file that cannot be marked in place is remuxed.
    const InPlaceDecision decision = PlanInPlace(
        input.get(), quickTime ? InPlaceFamily::kQuickTime : InPlaceFamily::kMatroska, entry.turn);
    if (!decision.plan) {
        const std::string reason = PlainInPlaceRefusal(decision.refusal);
        entry.method = "remuxed: " + reason;
        entry.inputCutShort = reason == kCutShortReason;
        return false;
    }
    entry.inputIdentity = IdentifyFile(entry.inputPath);
    if (!CreateTemporaryFor(entry, end)) {
        return true;
    }
    const MarkInPlaceResult result =
        MarkInPlace(*decision.plan, input.get(), entry.outputFile.fd(), job.m_cancel, job.m_filePercent);
    switch (result.outcome) {
    case MarkInPlaceOutcome::Marked:
        if (!(IdentifyFile(entry.inputPath) == entry.inputIdentity)) {
            FailEntry(entry, FailedStep::kInputChanged, "reading an input that did not change meanwhile",
                      AVERROR(ESTALE));
        } else if (!entry.outputFile.StillOurs()) {
            FailEntry(entry, FailedStep::kOutputVanished, "finding the finished output", AVERROR(ENOENT));
        }
        entry.method = kMarkedInPlace;
        entry.writeMethod = WriteMethod::kMarkedInPlace;
        if (decision.plan->av1Video) {
            AddNote(entry.note, Av1MarkNote());
        }
        FinishRecord(entry, true);
        return true;
    case MarkInPlaceOutcome::Cancelled:
        entry.cancelled = true;
        break;
    case MarkInPlaceOutcome::Failed:
        FailEntry(entry, FailedStep::kWriteOutput, "copying the input",
                  result.error != 0 ? AVERROR(result.error) : AVERROR(EIO));
        entry.reason = PlainMarkReason(result);
        break;
    }
    FinishRecord(entry, false);
    return true;
}

} // namespace quarnix
