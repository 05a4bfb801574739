// Why an entry failed, in plain words for the person who started the batch: the step that failed and the
// library or system error become one short phrase ("the disk is full"), never FFmpeg's own text.
#pragma once

#include <string>

namespace quarnix {

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
};

// The plain reason for a failed step; errorCode is a negative AVERROR (AVERROR(errno) for system errors).
std::string PlainFailureReason(FailedStep step, int errorCode);

} // namespace quarnix
