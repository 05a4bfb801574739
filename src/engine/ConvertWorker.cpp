// The batch worker: for each entry it opens the input and its decoders, creates the output, runs the
// packet loop of the job's mode, completes the file and publishes the entry's status.
#include "ConvertJob.h"
#include "EntryState.h"
#include "FfmpegError.h"
#include "MatroskaProjection.h"
#include "MemoryReuse.h"
#include "OutputContainer.h"
#include "OutputFile.h"
#include "Reencode.h"
#include "StreamSelection.h"

#include <algorithm>
#include <chrono>

namespace quarnix {

namespace {

std::atomic<std::int64_t> g_pauseAfterHeaderFailureMs{500};

const std::string& PathAt(const std::vector<std::string>& paths, int index) {
    static const std::string kEmpty;
    return index < static_cast<int>(paths.size()) ? paths[static_cast<std::size_t>(index)] : kEmpty;
}

// Opens the input and a decoder for every stream that passes the selection; decoders are opened in both
// modes, and one that fails to open ends the batch.
SetUpOutcome OpenInput(EntryState& entry) {
    ReuseFrameMemory();
    entry.inputIdentity = IdentifyFile(entry.inputPath);
    AVFormatContext* rawInput = nullptr;
    if (int rc = avformat_open_input(&rawInput, LocalFileUrl(entry.inputPath).c_str(), nullptr, nullptr);
        rc < 0) {
        LogEntryFailure(entry, "opening the input", rc);
        return SetUpOutcome::kEndThread;
    }
    entry.input.reset(rawInput);
    if (int rc = avformat_find_stream_info(entry.input.get(), nullptr); rc < 0) {
        LogEntryFailure(entry, "reading the stream information", rc);
        return SetUpOutcome::kEndThread;
    }
    entry.slots.resize(entry.input->nb_streams);
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
            LogEntryFailure(entry, "opening a decoder", opened.error);
            return SetUpOutcome::kEndThread;
        }
        if (opened.decoder->codec_type == AVMEDIA_TYPE_VIDEO) {
            entry.inputVideoStream = static_cast<int>(i);
        } else if (opened.decoder->codec_type == AVMEDIA_TYPE_AUDIO && entry.inputAudioStream < 0) {
            entry.inputAudioStream = static_cast<int>(i);
        }
        entry.slots[i].decoder = std::move(opened.decoder);
    }
    av_dump_format(entry.input.get(), 0, entry.inputPath.c_str(), 0);
    return SetUpOutcome::kReady;
}

SetUpOutcome CreateOutput(CConvertJob& job, EntryState& entry) {
    AVFormatContext* rawOutput = nullptr;
    // [#13 container choice] A container that cannot carry a rotation is written as MOV or MKV instead.
    std::string muxer;
    if (job.m_reencode == 0) {
        const OutputContainer container = ChooseOutputContainer(*entry.input, entry.outputPath);
        if (!container.canRotate) {
            av_log(nullptr, AV_LOG_ERROR, "quarnix: %s: %s\n", entry.inputPath.c_str(),
                   container.note.c_str());
            return SetUpOutcome::kSkipEntry;
        }
        if (!container.note.empty()) {
            av_log(nullptr, AV_LOG_INFO, "quarnix: %s: %s\n", entry.inputPath.c_str(),
                   container.note.c_str());
        }
        muxer = container.muxer;
        entry.outputPath = container.path;
    }
    if (int rc = avformat_alloc_output_context2(&rawOutput, nullptr, muxer.empty() ? nullptr : muxer.c_str(),
                                                LocalFileUrl(entry.outputPath).c_str());
        rc < 0 || rawOutput == nullptr) {
        LogEntryFailure(entry, "choosing the output container", rc < 0 ? rc : AVERROR_MUXER_NOT_FOUND);
        return SetUpOutcome::kSkipEntry;
    }
    entry.output.reset(rawOutput);

    if (job.m_reencode != 0) {
        if (int rc = CreateReencodeStreams(job, entry); rc < 0) {
            LogEntryFailure(entry, "setting up the encoders", rc);
            return SetUpOutcome::kEndThread;
        }
    } else if (int rc = CreateCopyStreams(job, entry); rc < 0) {
        LogEntryFailure(entry, "creating the output streams", rc);
        return SetUpOutcome::kSkipEntry;
    }
    av_dump_format(entry.output.get(), 0, entry.outputPath.c_str(), 1);

    if (!(entry.output->oformat->flags & AVFMT_NOFILE)) {
        // Never replace an existing file: the name was free when it was chosen, but must still be free now.
        if (int rc = CreateOutputExclusively(entry.outputPath); rc < 0) {
            LogEntryFailure(entry, "creating the output file", rc);
            return rc == AVERROR(EEXIST) ? SetUpOutcome::kSkipEntry : SetUpOutcome::kEndThread;
        }
        entry.outputCreated = true;
        if (int rc = OpenCreatedOutput(&entry.output->pb, entry.outputPath); rc < 0) {
            LogEntryFailure(entry, "opening the output file", rc);
            return SetUpOutcome::kEndThread;
        }
    }
    // [#13 header options] What the header needs to keep the input's facts (Apple keys, Dolby Vision).
    AVDictionary* headerOptions = nullptr;
    int headerResult = OutputOptionsFor(*entry.input, *entry.output, &headerOptions);
    if (headerResult >= 0) {
        headerResult = avformat_write_header(entry.output.get(), &headerOptions);
    }
    av_dict_free(&headerOptions);
    if (int rc = headerResult; rc < 0) {
        LogEntryFailure(entry, "writing the output header", rc);
        entry.outputIncomplete = true;
        return SetUpOutcome::kHeaderFailed;
    }
    entry.headerWritten = true;
    if (job.m_reencode != 0) {
        if (int rc = SetUpReencodeConverters(job, entry); rc < 0) {
            LogEntryFailure(entry, "setting up the converters", rc);
            return SetUpOutcome::kEndThread;
        }
    }
    return SetUpOutcome::kReady;
}

// Writes the trailer and flushes the output; any write error fails the entry and discards the file.
void CompleteOutput(EntryState& entry) {
    if (entry.headerWritten) {
        if (int rc = av_write_trailer(entry.output.get()); rc < 0) {
            LogEntryFailure(entry, "writing the output trailer", rc);
            entry.failed = entry.outputIncomplete = true;
        }
    }
    AVFormatContext* output = entry.output.get();
    if (output != nullptr && output->pb != nullptr && !(output->oformat->flags & AVFMT_NOFILE)) {
        avio_flush(output->pb);
        int rc = output->pb->error;
        const int closeResult = avio_closep(&output->pb);
        if (rc >= 0) {
            rc = closeResult;
        }
        if (rc < 0) {
            LogEntryFailure(entry, "closing the output file", rc);
            entry.failed = entry.outputIncomplete = true;
        }
    }
}

// A finished output must still be where it was written, and the input must not have changed under the copy
// (truncated or replaced by another program); otherwise the entry is not reported as converted.
void CheckFilesAfterCopy(EntryState& entry) {
    // An input damaged right after its header gives no packet at all: the output would hold no picture and
    // no sound (and the Matroska muxer cannot even write such a file readably), so it is no conversion.
    if (!entry.failed && !entry.cancelled && entry.headerWritten) {
        std::int64_t packetsWritten = 0;
        for (unsigned o = 0; o < entry.output->nb_streams; ++o) {
            packetsWritten += entry.output->streams[o]->nb_frames;
        }
        if (packetsWritten == 0) {
            LogEntryFailure(entry, "copying any packet of the input", AVERROR_INVALIDDATA);
            entry.failed = entry.outputIncomplete = true;
        }
    }
    if (!entry.failed && entry.outputCreated && !IdentifyFile(entry.outputPath).regularFile) {
        LogEntryFailure(entry, "finding the finished output", AVERROR(ENOENT));
        entry.failed = true;
    }
    if (!entry.failed && !entry.cancelled && entry.inputIdentity.regularFile &&
        !(IdentifyFile(entry.inputPath) == entry.inputIdentity)) {
        LogEntryFailure(entry, "reading an input that did not change meanwhile", AVERROR(ESTALE));
        entry.failed = true;
    }
}

// Releases everything the entry opened; an output the worker created but could not complete is removed.
void ReleaseEntry(EntryState& entry) {
    const bool discard = entry.outputCreated && (entry.outputIncomplete || !entry.headerWritten);
    entry.output.reset();
    entry.slots.clear();
    entry.input.reset();
    if (discard) {
        RemoveCreatedOutput(entry.outputPath);
    }
}

void PublishStatus(CConvertJob& job, int index, FileStatus status) {
    job.m_fileStatus[static_cast<std::size_t>(index)].store(status, std::memory_order_release);
}

} // namespace

bool ReadNextPacket(const CConvertJob& job, EntryState& entry, AVPacket& packet) {
    if (job.m_cancel.load(std::memory_order_relaxed) != 0) {
        entry.cancelled = true;
        return false;
    }
    if (int rc = av_read_frame(entry.input.get(), &packet); rc < 0) {
        if (rc != AVERROR_EOF) {
            LogEntryFailure(entry, "reading the input", rc);
            entry.failed = true;
        }
        return false;
    }
    return true;
}

void LogEntryFailure(const EntryState& entry, const char* step, int errorCode) {
    av_log(nullptr, AV_LOG_ERROR, "quarnix: entry %d (%s): %s failed: %s\n", entry.index,
           entry.inputPath.c_str(), step, FfmpegErrorText(errorCode).c_str());
}

void SetPauseAfterHeaderFailure(std::chrono::milliseconds pause) {
    g_pauseAfterHeaderFailureMs.store(pause.count());
}

int ConvertThreadProc(CConvertJob* job) {
    const int count = std::clamp(job->m_fileCount, 0, CConvertJob::kMaxEntries);
    for (int i = 0; i < count; ++i) {
        PublishStatus(*job, i, kFileStatusPending);
    }
    for (int i = 0; i < count; ++i) {
        job->m_currentFile.store(i, std::memory_order_release);
        job->m_filePercent.store(0, std::memory_order_relaxed);
        job->m_audioClock = job->m_videoClock = 0.0;
        job->m_packetStream = -1;
        if (job->m_cancel.load(std::memory_order_acquire) != 0) {
            return 0;
        }

        EntryState entry;
        entry.index = i;
        entry.inputPath = PathAt(job->m_inputPaths, i);
        entry.outputPath = PathAt(job->m_outputPaths, i);

        SetUpOutcome outcome = OpenInput(entry);
        if (outcome == SetUpOutcome::kReady) {
            outcome = CreateOutput(*job, entry);
        }
        if (outcome != SetUpOutcome::kReady) {
            CompleteOutput(entry);
            ReleaseEntry(entry);
            PublishStatus(*job, i, kFileStatusFailed);
            if (outcome == SetUpOutcome::kEndThread) {
                return -1;
            }
            if (outcome == SetUpOutcome::kHeaderFailed) {
                std::this_thread::sleep_for(std::chrono::milliseconds(g_pauseAfterHeaderFailureMs.load()));
            }
            continue;
        }

        int loopResult = 0;
        if (job->m_reencode != 0) {
            loopResult = RunReencodeLoop(*job, entry);
        } else {
            RunStreamCopyLoop(*job, entry);
        }
        CompleteOutput(entry);
        // [#13 projection patch] The finished, closed Matroska file gets its Projection element.
        if (!entry.failed && !entry.cancelled && entry.headerWritten && job->m_rotation != 0 &&
            IsMatroskaMuxer(*entry.output->oformat)) {
            if (int rc = AddMatroskaProjection(entry.outputPath, job->m_rotation); rc < 0) {
                LogEntryFailure(entry, "storing the Matroska rotation", rc);
                entry.failed = entry.outputIncomplete = true;
            }
        }
        CheckFilesAfterCopy(entry);
        ReleaseEntry(entry);
        if (loopResult < 0) {
            PublishStatus(*job, i, kFileStatusFailed);
            return -1;
        }
        // A cancel that arrives after the whole input was copied leaves a complete file: it counts as done.
        if (entry.failed) {
            PublishStatus(*job, i, kFileStatusFailed);
        } else if (!entry.cancelled) {
            PublishStatus(*job, i, kFileStatusConverted);
        }
    }
    job->m_currentFile.store(count, std::memory_order_release);
    return 0;
}

} // namespace quarnix
