// The batch worker: for each entry it opens the input, writes the output under a temporary name, runs the
// packet loop of the job's mode and completes the file; the committer then flushes it, moves it to its name
// and publishes the entry's status and reason while the next entry is written. A failure fails that entry
// only; the end of the batch is published on every way out, after every commit.
#include "engine/Containers.h"
#include "engine/batch/ConvertJob.h"
#include "engine/batch/EntryCommitter.h"
#include "engine/batch/EntryState.h"
#include "engine/inplace/MarkInPlace.h"
#include "engine/inplace/matroska/MatroskaRotation.h"
#include "engine/io/FfmpegError.h"
#include "engine/io/FileDescriptor.h"
#include "engine/io/OutputFile.h"
#include "engine/io/OutputName.h"
#include "engine/probe/StreamSelection.h"
#include "engine/reencode/Reencode.h"
#include "engine/remux/OutputContainer.h"

#include <algorithm>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quarnix {

namespace {

enum class EntryEnd {
    kDone,       // converted, failed or (after a cancel) pending; go on
    kFolderGone, // the output folder disappeared: no later entry can be written either
};

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

bool WasCancelled(const CConvertJob& job, EntryState& entry) {
    if (job.m_cancel.load(std::memory_order_relaxed) != 0) {
        entry.cancelled = true;
    }
    return entry.cancelled;
}

// Opens the input and reads its stream information. Decoders are opened in re-encode mode only: a copy
// never decodes, so a stream without a working decoder is still copied.
bool OpenInput(const CConvertJob& job, EntryState& entry) {
    entry.inputIdentity = IdentifyFile(entry.inputPath);
    if (int rc = entry.input.Open(entry.inputPath, &job.m_cancel); rc < 0) {
        if (!WasCancelled(job, entry)) {
            FailEntry(entry, FailedStep::kOpenInput, "opening the input", rc);
        }
        return false;
    }
    if (int rc = avformat_find_stream_info(entry.input.get(), nullptr); rc < 0) {
        if (!WasCancelled(job, entry)) {
            FailEntry(entry, FailedStep::kReadStreams, "reading the stream information", rc);
        }
        return false;
    }
    entry.slots.resize(entry.input->nb_streams);
    // Turning the pictures opens its one decoder itself.
    if (entry.reencode && !entry.turnPictures) {
        for (unsigned i = 0; i < entry.input->nb_streams; ++i) {
            AVStream& stream = *entry.input->streams[i];
            if (!PassesCopySelection(*entry.input, stream)) {
                continue;
            }
            DecoderOpenResult opened = OpenStreamDecoder(*entry.input, stream);
            if (opened.noDecoder) {
                continue;
            }
            if (opened.error < 0) {
                FailEntry(entry, FailedStep::kSetUpEncoders, "opening a decoder", opened.error);
                return false;
            }
            if (opened.decoder->codec_type == AVMEDIA_TYPE_VIDEO) {
                entry.inputVideoStream = static_cast<int>(i);
            } else if (opened.decoder->codec_type == AVMEDIA_TYPE_AUDIO && entry.inputAudioStream < 0) {
                entry.inputAudioStream = static_cast<int>(i);
            }
            entry.slots[i].decoder = std::move(opened.decoder);
        }
    }
    av_dump_format(entry.input.get(), 0, entry.inputPath.c_str(), 0);
    return true;
}

// Creates the entry's temporary output; false (entry failed, end set) when it cannot be created.
bool CreateTemporaryFor(EntryState& entry, EntryEnd& end) {
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

// Turned pictures are H.264: a container that cannot hold it (WebM, Ogg) is written as Matroska instead.
void KeepH264Container(EntryState& entry) {
    const AVOutputFormat* muxer = av_guess_format(nullptr, entry.outputPath.c_str(), nullptr);
    if (muxer != nullptr && avformat_query_codec(muxer, AV_CODEC_ID_H264, FF_COMPLIANCE_NORMAL) == 1) {
        return;
    }
    const std::string name = ContainerUserName(entry.outputPath);
    const std::size_t dot = entry.outputPath.rfind('.');
    const std::size_t slash = entry.outputPath.rfind('/');
    const bool hasExtension = dot != std::string::npos && (slash == std::string::npos || dot > slash);
    entry.outputPath = (hasExtension ? entry.outputPath.substr(0, dot) : entry.outputPath) + ".mkv";
    entry.note = "written as MKV: " + name + " cannot hold the turned pictures' H.264";
}

bool HoldsAv1Video(const AVFormatContext& input) {
    for (unsigned i = 0; i < input.nb_streams; ++i) {
        if (input.streams[i]->codecpar->codec_id == AV_CODEC_ID_AV1) {
            return true;
        }
    }
    return false;
}

// Sets up the output container and its streams, creates the temporary file and writes the header.
// Returns kFolderGone when the temporary file could not be created because the folder is gone.
EntryEnd CreateOutput(CConvertJob& job, EntryState& entry) {
    // A container that cannot carry a rotation is written as MP4, MOV or MKV instead, under the same base
    // name.
    std::string muxer;
    if (entry.turnPictures) {
        KeepH264Container(entry);
    }
    if (!entry.reencode) {
        const OutputContainer container =
            ChooseOutputContainer(*entry.input, entry.outputPath, {job.m_keepMatroska != 0, entry.turn});
        if (!container.canRotate) {
            FailEntry(entry, FailedStep::kChooseContainer, "choosing a container that carries a rotation",
                      AVERROR_MUXER_NOT_FOUND);
            entry.reason = container.note;
            return EntryEnd::kDone;
        }
        muxer = container.muxer;
        entry.outputPath = container.path;
        if (!container.note.empty()) {
            entry.note = container.note;
        }
        if (!IsMatroskaFamilyName(entry.outputPath) && HoldsAv1Video(*entry.input)) {
            AddNote(entry.note, Av1MarkNote());
        }
    }
    AVFormatContext* rawOutput = nullptr;
    if (int rc = avformat_alloc_output_context2(&rawOutput, nullptr, muxer.empty() ? nullptr : muxer.c_str(),
                                                LocalFileUrl(entry.outputPath).c_str());
        rc < 0 || rawOutput == nullptr) {
        FailEntry(entry, FailedStep::kChooseContainer, "choosing the output container",
                  rc < 0 ? rc : AVERROR_MUXER_NOT_FOUND);
        return EntryEnd::kDone;
    }
    entry.output.reset(rawOutput);
    entry.output->interrupt_callback = InterruptOn(&job.m_cancel);

    if (entry.turnPictures) {
        if (int rc = CreateTurnedStreams(job, entry); rc < 0) {
            FailEntry(entry, FailedStep::kSetUpEncoders, "setting up the turn of the pictures", rc);
            return EntryEnd::kDone;
        }
    } else if (entry.reencode) {
        if (int rc = CreateReencodeStreams(job, entry); rc < 0) {
            FailEntry(entry, FailedStep::kSetUpEncoders, "setting up the encoders", rc);
            return EntryEnd::kDone;
        }
    } else if (int rc = CreateCopyStreams(entry); rc < 0) {
        FailEntry(entry, FailedStep::kWriteHeader, "creating the output streams", rc);
        return EntryEnd::kDone;
    }
    av_dump_format(entry.output.get(), 0, entry.outputPath.c_str(), 1);

    if (!(entry.output->oformat->flags & AVFMT_NOFILE)) {
        EntryEnd end = EntryEnd::kDone;
        if (!CreateTemporaryFor(entry, end)) {
            return end;
        }
        // Written only through the descriptor of the exclusive create, never reopened by name.
        if (int rc = entry.outputFile.OpenIo(&entry.output->pb); rc < 0) {
            FailEntry(entry, FailedStep::kCreateOutput, "opening the output file", rc);
            return EntryEnd::kDone;
        }
        entry.output->flags |= AVFMT_FLAG_CUSTOM_IO;
    }
    // What the header needs to keep the input's facts (Apple keys, Dolby Vision).
    AVDictionary* headerOptions = nullptr;
    int headerResult = OutputOptionsFor(*entry.input, *entry.output, &headerOptions);
    if (headerResult >= 0) {
        headerResult = avformat_write_header(entry.output.get(), &headerOptions);
    }
    av_dict_free(&headerOptions);
    if (int rc = headerResult; rc < 0) {
        if (!WasCancelled(job, entry)) {
            FailEntry(entry, FailedStep::kWriteHeader, "writing the output header", rc);
        }
        return EntryEnd::kDone;
    }
    entry.headerWritten = true;
    if (entry.reencode && !entry.turnPictures) {
        if (int rc = SetUpReencodeConverters(job, entry); rc < 0) {
            FailEntry(entry, FailedStep::kSetUpEncoders, "setting up the converters", rc);
        }
    }
    return EntryEnd::kDone;
}

// Writes the trailer and closes the output; any write error fails the entry.
void CompleteOutput(EntryState& entry) {
    if (entry.headerWritten && !entry.cancelled && !entry.outputIncomplete) {
        if (int rc = av_write_trailer(entry.output.get()); rc < 0) {
            FailEntry(entry, FailedStep::kWriteOutput, "writing the output trailer", rc);
            entry.outputIncomplete = true;
        }
    }
    AVFormatContext* output = entry.output.get();
    if (output != nullptr && output->pb != nullptr && !(output->oformat->flags & AVFMT_NOFILE)) {
        output->pb = nullptr;
        const int rc = entry.outputFile.CloseIo();
        if (rc < 0 && !entry.cancelled && !entry.failed) {
            FailEntry(entry, FailedStep::kWriteOutput, "closing the output file", rc);
            entry.outputIncomplete = true;
        }
    }
}

// A finished output must still be where it was written, and the input must not have changed under the copy
// (truncated or replaced by another program); otherwise the entry is not reported as converted.
void CheckFilesAfterCopy(EntryState& entry) {
    if (entry.failed || entry.cancelled || !entry.headerWritten) {
        return;
    }
    // An input damaged right after its header gives no packet at all: the output would hold no picture and
    // no sound (and the Matroska muxer cannot even write such a file readably), so it is no conversion.
    std::int64_t packetsWritten = 0;
    for (unsigned o = 0; o < entry.output->nb_streams; ++o) {
        packetsWritten += entry.output->streams[o]->nb_frames;
    }
    if (packetsWritten == 0) {
        FailEntry(entry, FailedStep::kNoPackets, "copying any packet of the input", AVERROR_INVALIDDATA);
        return;
    }
    if (entry.outputFile.created() && !entry.outputFile.StillOurs()) {
        FailEntry(entry, FailedStep::kOutputVanished, "finding the finished output", AVERROR(ENOENT));
        return;
    }
    if (entry.inputIdentity.regularFile && !(IdentifyFile(entry.inputPath) == entry.inputIdentity)) {
        FailEntry(entry, FailedStep::kInputChanged, "reading an input that did not change meanwhile",
                  AVERROR(ESTALE));
    }
}

// Commits the complete output: flushed to the device with the input's date and permissions, moved to its
// name (numbered when that is taken) and its folder flushed; only then is it converted.
void CommitEntryOutput(EntryState& entry) {
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

// Removes what the worker created for the entry, through the folder's descriptor (also from a folder moved
// away meanwhile), so no partial file ever carries an output's name.
void DiscardOutput(EntryState& entry) {
    const bool folderMoved = entry.outputFile.FolderMoved();
    entry.outputFile.Remove();
    if (folderMoved && entry.failed) {
        entry.reason = PlainFailureReason(FailedStep::kFolderMoved, AVERROR(ENOENT));
    }
}

// Releases everything the entry opened. A complete output waits for its commit (CommitAndPublish), its
// write-back already started; anything else the worker created is removed.
void FinishEntry(EntryState& entry, bool complete) {
    entry.output.reset();
    entry.outputFile.CloseIo();
    entry.slots.clear();
    entry.input.reset();
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

// The QuickTime family (MP4, MOV, M4V, 3GP) whose box structure parses cleanly is rotated by copying its
// bytes and setting each video track's matrix; Matroska and WebM by copying their bytes and rewriting the
// header before the media. Nothing of the input is lost and, where the file system shares blocks, nothing
// is even copied. Returns false when the entry is to be remuxed instead (the reason is in entry.method).
bool MarkInPlaceIfPossible(CConvertJob& job, EntryState& entry, EntryEnd& end) {
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
        FinishEntry(entry, true);
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
    FinishEntry(entry, false);
    return true;
}

// The clockwise angle each video track of a stream-copy output was marked with, in track order.
std::vector<int> VideoTrackAngles(const AVFormatContext& output) {
    std::vector<int> angles;
    for (unsigned i = 0; i < output.nb_streams; ++i) {
        const AVStream& stream = *output.streams[i];
        if (stream.codecpar->codec_type == AVMEDIA_TYPE_VIDEO) {
            const AVDictionaryEntry* rotate = av_dict_get(stream.metadata, "rotate", nullptr, 0);
            angles.push_back(rotate != nullptr ? std::atoi(rotate->value) : 0);
        }
    }
    return angles;
}

// A Matroska or WebM input is written as MP4 or MOV when that keeps everything of it (most players ignore
// a Matroska rotation); the input is then left open for the remux. False when the entry failed.
bool ChooseMatroskaOrQuickTime(CConvertJob& job, EntryState& entry) {
    if (entry.reencode || !IsMatroskaFamilyName(entry.outputPath)) {
        return true;
    }
    if (job.m_keepMatroska != 0) {
        entry.note = std::string(kMatroskaKeptNote); // kept by the user's choice, and said so
        return true;
    }
    if (!OpenInput(job, entry)) {
        return false;
    }
    const OutputContainer container =
        ChooseOutputContainer(*entry.input, entry.outputPath, {job.m_keepMatroska != 0, entry.turn});
    entry.note = container.note;
    if (container.path != entry.outputPath) {
        entry.outputPath = container.path;
        entry.method = "remuxed: " + container.note;
        return true;
    }
    // Stays Matroska: marked in place where it can be, so the input is opened again only for a remux.
    entry.slots.clear();
    entry.input.reset();
    return true;
}

EntryEnd ConvertEntry(CConvertJob& job, EntryState& entry) {
    EntryEnd end = EntryEnd::kDone;
    if (!ChooseMatroskaOrQuickTime(job, entry)) {
        FinishEntry(entry, false);
        return end;
    }
    if (!entry.input.get() && MarkInPlaceIfPossible(job, entry, end)) {
        return end;
    }
    if (entry.input.get() != nullptr || OpenInput(job, entry)) {
        end = CreateOutput(job, entry);
    }
    if (entry.headerWritten && !entry.failed) {
        if (entry.turnPictures) {
            RunTurnPicturesLoop(job, entry);
        } else if (entry.reencode) {
            if (int rc = RunReencodeLoop(job, entry); rc < 0 && !entry.failed) {
                FailEntry(entry, FailedStep::kWriteOutput, "converting", rc);
            }
        } else {
            RunStreamCopyLoop(job, entry);
        }
        WasCancelled(job, entry);
    }
    CompleteOutput(entry);
    // The finished, closed Matroska file gets the standard rotation element beside its tag.
    if (!entry.failed && !entry.cancelled && entry.headerWritten && !entry.outputIncomplete &&
        !entry.reencode && IsMatroskaMuxer(*entry.output->oformat)) {
        if (int rc = SetMatroskaRotationOf(entry.outputFile.fd(), VideoTrackAngles(*entry.output)); rc < 0) {
            FailEntry(entry, FailedStep::kWriteOutput, "storing the Matroska rotation", rc);
            entry.outputIncomplete = true;
        }
    }
    CheckFilesAfterCopy(entry);
    FinishEntry(entry, entry.headerWritten && !entry.outputIncomplete);
    return end;
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
                av_log(nullptr, AV_LOG_INFO, "quarnix: removed %d stale part file(s) in %s\n", removed,
                       folder.c_str());
            }
        }
    }
}

void PublishEntry(CConvertJob& job, int index, const EntryState& entry) {
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

// The commit of a complete entry (on the committer's thread), then its status.
void CommitAndPublish(CConvertJob& job, EntryState& entry) {
    CommitEntryOutput(entry);
    if (entry.failed) {
        DiscardOutput(entry);
    }
    PublishEntry(job, entry.index, entry);
}

} // namespace

bool ReadNextPacket(const CConvertJob& job, EntryState& entry, AVPacket& packet) {
    if (WasCancelled(job, entry)) {
        return false;
    }
    if (int rc = av_read_frame(entry.input.get(), &packet); rc < 0) {
        if (rc != AVERROR_EOF && !WasCancelled(job, entry)) {
            FailEntry(entry, FailedStep::kReadInput, "reading the input", rc);
        }
        return false;
    }
    return true;
}

void LogEntryFailure(const EntryState& entry, const char* step, int errorCode) {
    entry.lastError = errorCode;
    // The technical detail; users read the plain reason, the log shows it with --verbose.
    av_log(nullptr, AV_LOG_INFO, "quarnix: entry %d (%s): %s failed: %s\n", entry.index,
           entry.inputPath.c_str(), step, FfmpegErrorText(errorCode).c_str());
}

void FailEntry(EntryState& entry, FailedStep step, const char* what, int errorCode) {
    LogEntryFailure(entry, what, errorCode);
    if (!entry.failed) {
        entry.reason = PlainFailureReason(step, errorCode);
    }
    entry.failed = true;
}

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
    EntryCommitter committer([job](EntryState& entry) { CommitAndPublish(*job, entry); });
    for (int i = 0; i < count; ++i) {
        job->m_currentFile.store(i, std::memory_order_release);
        job->m_filePercent.store(0, std::memory_order_relaxed);
        job->m_audioClock = job->m_videoClock = 0.0;
        if (job->m_cancel.load(std::memory_order_acquire) != 0) {
            return 0;
        }

        auto state = std::make_unique<EntryState>();
        EntryState& entry = *state;
        entry.index = i;
        entry.turn = job->TurnOfEntry(i);
        entry.turnPictures = job->TurnsPicturesOf(i);
        entry.reencode = job->m_reencode != 0 || entry.turnPictures;
        entry.replaceOriginal = job->m_replaceOriginals != 0;
        entry.inputPath = PathAt(job->m_inputPaths, i);
        entry.outputPath = PathAt(job->m_outputPaths, i);
        const EntryEnd entryEnd = ConvertEntry(*job, entry);
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
