#include "engine/batch/FailureReason.h"

#include <cerrno>

extern "C" {
#include <libavutil/error.h>
}

namespace quarnix {

namespace {

// Reasons that name the cause whatever the step was.
const char* CommonCause(int errorCode) {
    switch (errorCode) {
    case AVERROR(ENOSPC):
        return "the disk is full";
    case AVERROR(EDQUOT):
        return "the disk quota is used up";
    case AVERROR(EFBIG):
        return "the output is larger than the file system allows";
    case AVERROR(ENAMETOOLONG):
        return "the output name is too long";
    case AVERROR(EIO):
        return "the drive reported a read or write error";
    case AVERROR(ENOMEM):
        return "there was not enough memory";
    default:
        return nullptr;
    }
}

bool IsPermissionError(int errorCode) {
    return errorCode == AVERROR(EACCES) || errorCode == AVERROR(EPERM) || errorCode == AVERROR(EROFS);
}

} // namespace

std::string PlainFailureReason(FailedStep step, int errorCode) {
    switch (step) {
    case FailedStep::kOpenInput:
        if (errorCode == AVERROR(ENOENT)) {
            return "the input no longer exists";
        }
        if (IsPermissionError(errorCode)) {
            return "the input may not be read";
        }
        if (errorCode == AVERROR(EISDIR)) {
            return "the input is a folder";
        }
        return "the input cannot be opened as a video";
    case FailedStep::kReadStreams:
        return "the input's streams cannot be read";
    case FailedStep::kChooseContainer:
        return "no container can be written for this output name";
    case FailedStep::kOutputName:
        return errorCode == AVERROR(ENAMETOOLONG) ? "the output name is too long"
                                                  : "the disk does not allow this file name";
    case FailedStep::kFolderGone:
        return "the output folder no longer exists";
    case FailedStep::kFolderMoved:
        return "the output folder was moved or removed while the file was written, and its partial file "
               "was removed";
    case FailedStep::kNoPackets:
        return "the input holds no picture or sound that can be copied";
    case FailedStep::kInputChanged:
        return "the input changed while it was read";
    case FailedStep::kOutputVanished:
        return "the output was removed while it was written";
    default:
        break;
    }
    if (const char* cause = CommonCause(errorCode)) {
        return cause;
    }
    switch (step) {
    case FailedStep::kCreateOutput:
    case FailedStep::kCommitOutput:
        if (IsPermissionError(errorCode)) {
            return "the output folder may not be written";
        }
        if (errorCode == AVERROR(ENOENT)) {
            return "the output folder no longer exists";
        }
        return "the output file cannot be created";
    case FailedStep::kWriteHeader:
        return "the output container does not accept these streams";
    case FailedStep::kSetUpEncoders:
        return "the encoder could not be set up";
    case FailedStep::kReadInput:
        return "the input could not be read to its end";
    case FailedStep::kWriteOutput:
        return "writing the output failed";
    default:
        return "the conversion failed";
    }
}

std::string CutShortNote() {
    return "the input is cut short: the output holds the part of it that is there";
}

std::string OriginalRemovedNote(const std::string& originalName) {
    return "the original " + originalName + " was removed";
}

std::string OriginalKeptNote(const std::string& originalName) {
    return "the original " + originalName + " was kept: it changed meanwhile or may not be removed";
}

std::string PlaceholderCommitNote() {
    return "this disk cannot rename a file without replacing another, so the name was first taken by an "
           "empty file: a crash at that moment could leave that empty file under this name";
}

std::string LeftOutStreamNote(const std::string& kind, unsigned index, LeftOutWhy why,
                              const std::string& container) {
    std::string note = kind + " stream " + std::to_string(index) + " left out: ";
    switch (why) {
    case LeftOutWhy::kDamaged:
        return note + "it is damaged or of an unknown kind";
    case LeftOutWhy::kNavigation:
        return note + "it holds DVD navigation, which no video file keeps";
    case LeftOutWhy::kMuxerRefused:
        break;
    }
    return note + "the " + container + " container does not take it";
}

void AddNote(std::string& note, const std::string& sentence) {
    note += note.empty() ? sentence : "; " + sentence;
}

} // namespace quarnix
