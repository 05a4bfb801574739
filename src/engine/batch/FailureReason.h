// Why an entry failed, in plain words for the person who started the batch: the step that failed and the
// library or system error become one short phrase ("the disk is full"), never FFmpeg's own text.
#pragma once

#include <string>

namespace quarnix {

enum class MatroskaFault;
enum class QuickTimeFault;
struct InPlaceRefusal;
struct MarkInPlaceResult;

enum class FailedStep {
    kOpenInput,       // opening the input file
    kReadStreams,     // reading its stream information
    kChooseContainer, // no muxer for the output name
    kOutputName,      // the output name itself
    kCreateOutput,    // creating or opening the output file
    kWriteHeader,     // the output container refused the streams
    kSetUpEncoders,   // re-encode mode: encoders or converters
    kReadInput,       // reading the input during the copy
    kWriteOutput,     // writing, completing or closing the output
    kNoPackets,       // nothing at all could be copied
    kInputChanged,    // the input changed while it was read
    kOutputVanished,  // the finished output was no longer there
    kCommitOutput,    // moving the finished output to its name
    kFolderGone,      // the output folder disappeared
    kFolderMoved,     // the output folder was moved or removed while the file was written
};

// The plain reason for a failed step; errorCode is a negative AVERROR (AVERROR(errno) for system errors).
std::string PlainFailureReason(FailedStep step, int errorCode);

// Why an input whose end is missing cannot be rotated in place; the remux then copies what is there.
inline constexpr const char* kCutShortReason = "the file is cut short";

// The note of an output made from an input whose end is missing.
std::string CutShortNote();

// The note of an AV1 video marked in an MP4 or MOV file: VLC 3 ignores the mark on AV1.
std::string Av1MarkNote();

// The note of an output that the disk could only give its name through an empty placeholder file.
std::string PlaceholderCommitNote();

// An original replaced by a rotated file of another name: "the original clip.ts was removed".
std::string OriginalRemovedNote(const std::string& originalName);
// An original that was to be removed but is kept, as it changed meanwhile or may not be removed.
std::string OriginalKeptNote(const std::string& originalName);

// Why a stream of the input is not in the output.
enum class LeftOutWhy {
    kDamaged,      // the demuxer could not tell its codec: unreadable or damaged
    kNavigation,   // DVD navigation packets, which belong to the disc, not to the video
    kMuxerRefused, // the output container does not take it
};

// The note naming a stream the output lacks: "audio stream 2 left out: it is damaged".
std::string LeftOutStreamNote(const std::string& kind, unsigned index, LeftOutWhy why,
                              const std::string& container);

// Why a QuickTime-family file's boxes keep it from being marked in place: "the file has no movie header".
std::string PlainQuickTimeReason(QuickTimeFault fault);
// Why a Matroska or WebM file's elements keep it from being marked in place: "the file is not Matroska".
std::string PlainMatroskaReason(MatroskaFault fault);
// Why a file is not marked in place; the remux then takes it.
std::string PlainInPlaceRefusal(const InPlaceRefusal& refusal);
// The reason of a mark in place that failed, in the words every failed entry uses; empty otherwise.
std::string PlainMarkReason(const MarkInPlaceResult& result);

// Why a file that needs the media libraries (its demuxer, the remux, the re-encode) is refused or failed when
// the media module could not be loaded; detail is the dynamic loader's message.
std::string MediaLibrariesMissingReason(const std::string& detail);

// Appends a plain sentence to an entry's note ("; " between sentences).
void AddNote(std::string& note, const std::string& sentence);

} // namespace quarnix
