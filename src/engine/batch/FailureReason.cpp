#include "engine/batch/FailureReason.h"

#include "engine/inplace/MarkInPlace.h"

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

std::string Av1MarkNote() {
    return "VLC 3 shows AV1 video in MP4 unrotated; \"turn the pictures\" plays upright everywhere";
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

std::string PlainQuickTimeReason(QuickTimeFault fault) {
    switch (fault) {
    case QuickTimeFault::kNone:
        return {};
    case QuickTimeFault::kReadFailed:
        return "the file could not be read";
    case QuickTimeFault::kNotRegularFile:
        return "the input is not a regular file";
    case QuickTimeFault::kCutShort:
        return kCutShortReason;
    case QuickTimeFault::kDamagedFile:
        return "the file's box structure is damaged";
    case QuickTimeFault::kTooManyBoxes:
        return "the file has too many boxes to check";
    case QuickTimeFault::kMoreThanOneMovie:
        return "the file has more than one movie header";
    case QuickTimeFault::kNoMovie:
        return "the file has no movie header";
    case QuickTimeFault::kMovieTooLarge:
        return "the movie header is too large to check";
    case QuickTimeFault::kDamagedMovie:
        return "the movie header is damaged";
    case QuickTimeFault::kCompressedMovie:
        return "the movie header is compressed";
    case QuickTimeFault::kTrackDescribedTwice:
        return "a track is described twice";
    case QuickTimeFault::kTrackWithoutHandler:
        return "a track does not say what it holds";
    case QuickTimeFault::kHandlerDamaged:
        return "a track's media handler is damaged";
    case QuickTimeFault::kNoVideoTrack:
        return "the file has no video track";
    case QuickTimeFault::kVideoWithoutHeader:
        return "a video track has no track header";
    case QuickTimeFault::kVideoWithTwoHeaders:
        return "a video track has more than one track header";
    case QuickTimeFault::kVideoHeaderTooShort:
        return "a video track header is too short";
    case QuickTimeFault::kVideoHeaderVersion:
        return "a video track header has an unknown version";
    case QuickTimeFault::kFileTypeDamaged:
        return "the file type is damaged";
    case QuickTimeFault::kTwoMovieHeaderBoxes:
        return "the movie has more than one movie header box";
    case QuickTimeFault::kNoMovieHeaderBox:
        return "the movie has no movie header box";
    case QuickTimeFault::kMovieHeaderVersion:
        return "the movie header box has an unknown version";
    case QuickTimeFault::kTrackHeaderTooShort:
        return "a track header is too short";
    case QuickTimeFault::kTrackHeaderDamaged:
        return "a track header is damaged";
    case QuickTimeFault::kTooManyChapters:
        return "a track names too many chapter tracks";
    case QuickTimeFault::kDamagedTable:
        return "a track's sample table is damaged";
    case QuickTimeFault::kTableGivenTwice:
        return "a track's sample table is given twice";
    case QuickTimeFault::kNestedTooDeeply:
        return "the file's boxes are nested too deeply";
    case QuickTimeFault::kMisplacedTrackBoxes:
        return "a track's boxes lie where no track keeps them";
    case QuickTimeFault::kTrackBoxCount:
        return "a track has not exactly one header and one media box";
    case QuickTimeFault::kMediaHeaderCount:
        return "a track's media has not exactly one header";
    }
    return {};
}

std::string PlainMatroskaReason(MatroskaFault fault) {
    switch (fault) {
    case MatroskaFault::kNone:
        return {};
    case MatroskaFault::kReadFailed:
        return "the file cannot be read";
    case MatroskaFault::kNotMatroska:
        return "the file is not Matroska";
    case MatroskaFault::kDamaged:
        return "the Matroska structure is damaged";
    case MatroskaFault::kCutShort:
        return kCutShortReason;
    case MatroskaFault::kMoreThanOneSegment:
        return "the file holds more than one segment";
    case MatroskaFault::kUnknownSize:
        return "an element of the file has no size (a live recording)";
    case MatroskaFault::kNoClusters:
        return "the file holds no media clusters";
    case MatroskaFault::kTracksOutsideHeader:
        return "the file's track list is not in its header";
    case MatroskaFault::kTagsBetweenClusters:
        return "the file's tags lie between its clusters";
    case MatroskaFault::kSeekHeadBetweenClusters:
        return "the file has a seek head between its clusters";
    case MatroskaFault::kTrackListCount:
        return "the file does not have exactly one track list";
    case MatroskaFault::kMoreThanOneTagList:
        return "the file has more than one tag list";
    case MatroskaFault::kRegionTooLarge:
        return "the Matroska header or index is unusually large";
    case MatroskaFault::kTrackListDamaged:
        return "the file's track list is damaged";
    case MatroskaFault::kNoVideoTrack:
        return "the file has no video track";
    case MatroskaFault::kVideoTrackWithoutId:
        return "a video track of the file has no id";
    case MatroskaFault::kTagsDamaged:
        return "the file's tags are damaged";
    case MatroskaFault::kNoRoom:
        return "the Matroska header has no room for the rotation";
    case MatroskaFault::kSeekHeadUnsettled:
        return "the file's seek head cannot be rewritten";
    case MatroskaFault::kSeekHeadOutside:
        return "the file's seek head points outside its elements";
    case MatroskaFault::kSegmentSizeTooShort:
        return "the Matroska segment's size field is too short";
    }
    return {};
}

std::string PlainInPlaceRefusal(const InPlaceRefusal& refusal) {
    if (refusal.matroska != MatroskaFault::kNone) {
        return PlainMatroskaReason(refusal.matroska);
    }
    if (refusal.quickTime == QuickTimeFault::kNone && refusal.readError != 0) {
        return "the file could not be read";
    }
    return PlainQuickTimeReason(refusal.quickTime);
}

std::string MediaLibrariesMissingReason(const std::string& detail) {
    return "the media libraries could not be loaded: " + detail;
}

std::string PlainMarkReason(const MarkInPlaceResult& result) {
    if (result.outcome != MarkInPlaceOutcome::Failed) {
        return {};
    }
    switch (result.failure) {
    case MarkFailure::kOutputNotNew:
        return "the output file is not a new empty file";
    case MarkFailure::kInputChanged:
        return PlainFailureReason(FailedStep::kInputChanged, 0);
    case MarkFailure::kReadBackDiffers:
        return "the written rotation did not read back as written";
    case MarkFailure::kCopy:
    case MarkFailure::kNone:
        break;
    }
    return PlainFailureReason(FailedStep::kWriteOutput, AVERROR(result.error != 0 ? result.error : EIO));
}

void AddNote(std::string& note, const std::string& sentence) {
    note += note.empty() ? sentence : "; " + sentence;
}

} // namespace quarnix
