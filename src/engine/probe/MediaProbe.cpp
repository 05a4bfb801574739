// The probe's front: a QuickTime-family file that its boxes describe fully is accepted for a batch without
// any media library; every other question goes to the demuxer in the media module, loaded then.
#include "engine/probe/MediaProbe.h"

#include "engine/Containers.h"
#include "engine/EngineLog.h"
#include "engine/batch/FailureReason.h"
#include "engine/inplace/quicktime/QuickTimeMovieFacts.h"
#include "engine/io/CancelFlag.h"
#include "engine/io/FileDescriptor.h"
#include "engine/io/OutputFile.h"
#include "engine/media/MediaLibraries.h"
#include "engine/probe/MovieDuration.h"

#include <array>
#include <fcntl.h>
#include <limits>

namespace quarnix {

namespace {

MediaFacts Refused(int result, const std::string& reason) {
    MediaFacts facts;
    facts.result = result;
    facts.refusal = reason;
    return facts;
}

// The video sample entries whose codec every FFmpeg this program builds against names from the movie
// tables and decodes: H.264, HEVC, MPEG-4 Part 2, AV1, VP9, ProRes, Motion JPEG, H.263. Written out so that
// the box reading needs no media library; any other entry is judged by the demuxer, which then gives the
// same answer the tables would.
bool IsKnownDecodableVideoEntry(std::uint32_t type) {
    static constexpr std::array kDecodable = {
        BoxType("avc1"), BoxType("avc3"), BoxType("hvc1"), BoxType("hev1"), BoxType("mp4v"), BoxType("av01"),
        BoxType("vp09"), BoxType("apch"), BoxType("apcn"), BoxType("apcs"), BoxType("apco"), BoxType("ap4h"),
        BoxType("jpeg"), BoxType("mjpa"), BoxType("s263"), BoxType("h263"),
    };
    for (const std::uint32_t known : kDecodable) {
        if (known == type) {
            return true;
        }
    }
    return false;
}

// The demuxer is chosen by the file's contents. It is the QuickTime one for certain when the file starts
// with its type (unless the brand is a JPEG 2000 or JPEG XL picture's, which the picture demuxers take),
// its movie or its media data.
bool OpensAsQuickTime(const QuickTimeMovieFacts& movie) {
    if (movie.firstBoxType == BoxType("ftyp")) {
        return movie.majorBrand != BoxType("jp2 ") && movie.majorBrand != BoxType("jpx ") &&
               movie.majorBrand != BoxType("jxl ");
    }
    return movie.firstBoxType == BoxType("moov") || movie.firstBoxType == BoxType("mdat");
}

// A video track whose samples are clearly listed and whose codec the demuxer names and can decode, as the
// full probe requires of the video it reports.
bool IsPlainVideoTrack(const QuickTimeTrackMedia& track) {
    if (track.chapterPictures || track.sampleEntries != 1 || track.sampleCount < 2 || track.chunkCount == 0 ||
        track.timeToSampleEntries == 0 || track.sampleToChunkEntries == 0 || track.storedWidth <= 0 ||
        track.storedHeight <= 0) {
        return false;
    }
    return IsKnownDecodableVideoEntry(track.sampleEntryType);
}

// At information level (--verbose) the demuxer's stream descriptions are what the caller asked to see;
// they are only shown, the box reading has already given the answer. Only then is the module loaded.
void DescribeStreamsIfVerbose(const std::string& utf8Path, const std::atomic<std::uint8_t>* cancel) {
    if (LogLevel() < kLogInfo) {
        return;
    }
    if (const MediaModule* media = LoadMediaLibraries().module) {
        media->DescribeStreams(utf8Path, cancel);
    }
}

} // namespace

std::optional<MediaFacts> QuickTimeAcceptance(int fd) {
    const QuickTimeMovieFacts movie = ReadQuickTimeMovieFacts(fd);
    // The demuxer takes a time scale as a signed 32-bit number and a duration as a signed 64-bit one; a
    // version-0 duration of all ones means "unknown". Fragmented movies list their samples elsewhere.
    if (!movie.complete || movie.fragmented || !OpensAsQuickTime(movie) || movie.timescale == 0 ||
        movie.timescale > static_cast<std::uint32_t>(std::numeric_limits<std::int32_t>::max()) ||
        movie.duration == 0 || movie.duration == 0xffffffffu ||
        movie.duration > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
        return std::nullopt;
    }
    MediaFacts facts;
    // Rounded as the demuxer rounds it; a duration too long for microseconds gives INT64_MIN.
    facts.durationUs = RescaledToMicroseconds(movie.duration, movie.timescale);
    if (facts.durationUs <= 0) {
        return std::nullopt;
    }
    bool video = false;
    for (const QuickTimeTrackMedia& track : movie.tracks) {
        // The demuxer refuses a movie with a track that describes no samples.
        if (track.sampleEntries == 0) {
            return std::nullopt;
        }
        if (track.handler != BoxType("vide")) {
            continue;
        }
        if (!IsPlainVideoTrack(track)) {
            return std::nullopt;
        }
        // The last video track in file order is the one whose facts the full probe reports.
        video = true;
        facts.width = track.storedWidth;
        facts.height = track.storedHeight;
    }
    if (!video) {
        return std::nullopt;
    }
    facts.result = kProbeAccepted;
    return facts;
}

MediaFacts ProbeMedia(const std::string& utf8Path, const std::atomic<std::uint8_t>* cancel,
                      ProbeDepth depth) {
    // Anything but a regular file (a FIFO, /dev/zero, a terminal, a socket) is refused before it is opened:
    // reading it could wait forever or never end.
    if (IsNotAFile(utf8Path)) {
        return Refused(kProbeNotOpenedOrNoVideo, "it is not a file");
    }
    // The box reader accepts only what the demuxer opens too, so the answer is the same whatever the log
    // level; a file it does not accept is judged by the demuxer.
    const bool quickTime = IsQuickTimeFamilyName(utf8Path);
    if (depth == ProbeDepth::kAcceptance && (quickTime || IsMatroskaFamilyName(utf8Path))) {
        if (IsCancelled(cancel)) {
            return Refused(kProbeCancelled, "adding it was cancelled");
        }
        // Not blocking: a pipe under a video's name is not waited on here (the walker refuses it).
        const FileDescriptor fd(open(utf8Path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
        if (fd.get() >= 0) {
            if (std::optional<MediaFacts> facts =
                    quickTime ? QuickTimeAcceptance(fd.get()) : MatroskaAcceptance(fd.get())) {
                DescribeStreamsIfVerbose(utf8Path, cancel);
                return *std::move(facts);
            }
        }
    }
    const MediaLibraries& media = LoadMediaLibraries();
    if (media.module == nullptr) {
        return Refused(kProbeNotOpenedOrNoVideo, MediaLibrariesMissingReason(media.error));
    }
    return media.module->ProbeWithDemuxer(utf8Path, cancel, depth);
}

} // namespace quarnix
