// The media module's part of a batch entry: the remux and the re-encode. It opens the input, writes the
// output under a temporary name, runs the packet loop of the job's mode and completes the file; the worker
// then commits it. A Matroska input that stays Matroska is still marked in place here, once the demuxer has
// told that an MP4 would not keep all of it.
#include "engine/Containers.h"
#include "engine/batch/ConvertJob.h"
#include "engine/batch/EntryState.h"
#include "engine/inplace/matroska/MatroskaRotation.h"
#include "engine/io/FileDescriptor.h"
#include "engine/io/OutputFile.h"
#include "engine/io/OutputName.h"
#include "engine/media/MediaModule.h"
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
        if (int rc = entry.outputIo.Open(entry.outputFile.fd(), &entry.output->pb); rc < 0) {
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
        const int rc = entry.outputIo.Close();
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

// Releases everything the entry opened. A complete output waits for its commit (CommitAndPublish), its
// write-back already started; anything else the worker created is removed.
void FinishEntry(EntryState& entry, bool complete) {
    entry.output.reset();
    entry.outputIo.Close();
    entry.slots.clear();
    entry.input.reset();
    FinishRecord(entry, complete);
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

EntryEnd ConvertEntry(CConvertJob& job, EntryState& entry, bool inPlaceTried) {
    EntryEnd end = EntryEnd::kDone;
    if (!ChooseMatroskaOrQuickTime(job, entry)) {
        FinishEntry(entry, false);
        return end;
    }
    if (!entry.input.get() && !inPlaceTried && MarkInPlaceIfPossible(job, entry, end)) {
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

} // namespace

ConvertedEntry ConvertWithMedia(CConvertJob& job, const EntryRecord& request, bool inPlaceTried) {
    auto state = std::make_unique<EntryState>();
    CopyEntryRequest(request, *state);
    const EntryEnd end = ConvertEntry(job, *state, inPlaceTried);
    return {std::move(state), end};
}

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

} // namespace quarnix
