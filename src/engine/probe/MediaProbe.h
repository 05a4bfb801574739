// The media probe: opens one file and returns, as a value, the facts that the file list shows (duration,
// frame size, bit rates, frame rate, audio format, profile), or why the file is refused.
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>

namespace quarnix {

// Why a probe refused a file, or kProbeAccepted.
enum ProbeResult : int {
    kProbeAccepted = 0,
    kProbeNotOpenedOrNoVideo = -1,
    kProbeNoStreamInfo = -2,
    kProbeCancelled = -3,
};

// What the probe found in one file. Fields of a stream kind the file lacks stay zero.
struct MediaFacts {
    int result = kProbeNotOpenedOrNoVideo; // kProbeAccepted, or why the file is refused
    std::string refusal;                   // plain words for a refused file ("it holds no video")
    std::int64_t durationUs = 0;           // the file's duration in microseconds
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int64_t videoBitRate = 0; // bits per second
    std::int32_t frameRateNum = 0;
    std::int32_t frameRateDen = 0;
    std::int32_t profile = 0;
    std::int64_t audioBitRate = 0;
    std::int32_t sampleRate = 0;
    std::int32_t channels = 0;
    // How players show the reported video now: turned clockwise by shownClockwise (0, 90, 180, 270) after a
    // left-right mirror when shownMirrored; from the stream's display matrix (or Matroska Projection).
    std::int32_t shownClockwise = 0;
    bool shownMirrored = false;

    bool Accepted() const { return result == kProbeAccepted; }
};

// How much a probe must find out.
enum class ProbeDepth {
    kListFacts,  // every fact the file list shows
    kAcceptance, // only whether the file is a video, and its duration: what a batch needs
};

// The acceptance facts of a QuickTime-family file (MP4, MOV, M4V, 3GP) read from its box structure alone,
// without the demuxer: accepted, the duration from the movie header, and the frame size of the video that
// the full probe reports (its sample description's). Given only when the structure is clean and clearly a
// video: not fragmented, every video track a single known codec with at least two samples and no chapter
// pictures, a non-zero duration. Empty whenever anything is uncertain; then the demuxer decides.
std::optional<MediaFacts> QuickTimeAcceptance(int fd);

// The same from a Matroska or WebM file's elements (the in-place structure check, the segment information and
// the track list); nullopt leaves the file to the demuxer.
std::optional<MediaFacts> MatroskaAcceptance(int fd);

// Probes the file at the UTF-8 path. A non-null cancel flag that becomes non-zero interrupts blocked reads
// (the file is then refused with kProbeCancelled). Safe to call from several threads at once.
// With kAcceptance, a regular file with a QuickTime-family or Matroska name is first judged by
// QuickTimeAcceptance or MatroskaAcceptance, which need no media library (at information level the
// demuxer's stream descriptions are shown as well); everything else loads the media module, where a file
// whose header already describes every stream (QuickTime family, Matroska) is not analysed further, which
// would decode a picture of it. The facts beyond acceptance, duration and frame size may then be missing.
MediaFacts ProbeMedia(const std::string& utf8Path, const std::atomic<std::uint8_t>* cancel = nullptr,
                      ProbeDepth depth = ProbeDepth::kListFacts);

} // namespace quarnix
