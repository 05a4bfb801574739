// Media fixtures of the engine tests, each made once by the ffmpeg tool, and a synchronous batch runner.
#pragma once

#include "engine/batch/ConvertJob.h"
#include "engine/batch/FailureReason.h"
#include "engine/inplace/MarkInPlace.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace quarnix::test {

// ffmpeg arguments of the marker picture (2 s, 160x120, black with a white box in the top-left corner), of
// its tone, and of the H.264 settings (with B-frames) the fixtures share.
inline const std::string kMarkerVideo =
    "-f lavfi -i color=c=black:s=160x120:r=25:d=2,drawbox=x=0:y=0:w=40:h=30:color=white:t=fill ";
inline const std::string kTone = "-f lavfi -i sine=frequency=440:sample_rate=44100:duration=2 ";
inline const std::string kH264 = "-c:v libx264 -bf 2 -g 25 -pix_fmt yuv420p ";

// 2 s, 160x120 black picture with a white box in the top-left corner, H.264 with B-frames, AAC audio,
// in the container of the extension ("mp4", "mov", "m4v", "3gp", "mkv").
std::string MarkerClip(const std::string& extension);
// The same picture and sound in Matroska with an SRT subtitle stream.
std::string MkvWithSubtitle();
// MP4 with audio, video and an MJPEG cover picture (three streams).
std::string Mp4WithCover();
// MOV with the marker and its tone, two chapters (a text track) and a timecode track.
std::string ChapteredMovWithTimecode();
// MOV with two video tracks: the marker twice.
std::string MovWithTwoVideoTracks();
// MPEG-TS whose audio starts 0.3 s after its video.
std::string TsWithLateAudio();
// 20 s transport stream, for tests that feed a file slowly.
std::string LongTs();
std::string VideoOnlyMp4();
// A phone-like MP4 with a recording date and a place in its file metadata.
std::string Mp4WithDateAndPlace();
std::string AudioOnlyM4a();

// Big-endian 32-bit fields of box and element headers in a file's bytes.
std::uint32_t Be32At(const std::string& bytes, std::size_t at);
void PutBe32(std::string& bytes, std::size_t at, std::uint32_t value);

struct BatchOutcome {
    int exitCode = 0;
    int currentFile = 0;
    std::vector<int> statuses; // as signed bytes: -1 pending, 1 converted, 2 failed
};

// A job with the entries filled the way the start command fills them (stream copy), keeping Matroska.
std::unique_ptr<CConvertJob> MakeBatchJob(const std::vector<std::string>& inputs,
                                          const std::vector<std::string>& outputs, int rotation,
                                          double durationSeconds = 2.0);

// Runs ConvertThreadProc on the calling thread.
BatchOutcome RunBatch(CConvertJob& job);

// A mark in place as the worker makes it: planned, then carried out when the plan was made.
struct MarkAttempt : MarkInPlaceResult {
    bool eligible = false; // a plan was made (else nothing was written)
    std::string reason;    // the words of the refusal or the failure; empty when marked or cancelled
};

// Plans and marks the file behind inputFd into outputFd.
MarkAttempt PlanAndMark(InPlaceFamily family, int inputFd, int outputFd, const Turn& turn,
                        const std::atomic<std::uint8_t>& cancel, std::atomic<std::int32_t>& percent);

// Marks input into a new file at output, created exclusively as the worker creates it, with the cancel flag
// holding cancelValue; a marked output must have published 100 percent.
MarkAttempt MarkFileInPlace(InPlaceFamily family, const std::string& input, const std::string& output,
                            const Turn& turn, std::uint8_t cancelValue = 0);
// The same with the angle as the rotation to set.
inline MarkAttempt MarkFileInPlace(InPlaceFamily family, const std::string& input, const std::string& output,
                                   int angle, std::uint8_t cancelValue = 0) {
    return MarkFileInPlace(family, input, output, Turn::Absolute(angle), cancelValue);
}

} // namespace quarnix::test
