#include "EngineFixtures.h"

#include "Fixtures.h"
#include "engine/io/FileDescriptor.h"

#include <gtest/gtest.h>

#include <fcntl.h>

namespace quarnix::test {

namespace {

std::string SubtitleFile() {
    return TextFixture("caption.srt", "1\n00:00:00,000 --> 00:00:01,000\nHello\n\n");
}

} // namespace

std::string MarkerClip(const std::string& extension) {
    return MediaFixture("marker." + extension, kMarkerVideo + kTone + kH264 + "-c:a aac -shortest");
}

std::string MkvWithSubtitle() {
    return MediaFixture("subtitled.mkv", kMarkerVideo + kTone + "-i " + ShellQuote(SubtitleFile()) +
                                             " -map 0 -map 1 -map 2 " + kH264 + "-c:a aac -c:s srt");
}

std::string Mp4WithCover() {
    const std::string cover = MediaFixture("cover.jpg", "-f lavfi -i color=c=red:s=64x64 -frames:v 1");
    return MediaFixture("covered.mp4", kMarkerVideo + kTone + "-i " + ShellQuote(cover) +
                                           " -map 0 -map 1 -map 2 " + kH264 +
                                           "-c:a aac -c:v:1 copy -disposition:v:1 attached_pic");
}

std::string ChapteredMovWithTimecode() {
    const std::string chapters =
        TextFixture("chapters.ffmeta", ";FFMETADATA1\n"
                                       "[CHAPTER]\nTIMEBASE=1/1000\nSTART=0\nEND=1000\n"
                                       "title=First\n"
                                       "[CHAPTER]\nTIMEBASE=1/1000\nSTART=1000\nEND=2000\n"
                                       "title=Second\n");
    return MediaFixture("chaptered.mov", kMarkerVideo + kTone + "-i " + ShellQuote(chapters) +
                                             " -map 0 -map 1 -map_chapters 2 " + kH264 +
                                             "-c:a aac -timecode 01:00:00:00");
}

std::string MovWithTwoVideoTracks() {
    return MediaFixture("two-videos.mov", kMarkerVideo + "-map 0:v -map 0:v " + kH264);
}

std::string TsWithLateAudio() {
    return MediaFixture("late-audio.ts", kMarkerVideo + "-itsoffset 0.3 " + kTone + kH264 + "-c:a aac");
}

std::string LongTs() {
    return MediaFixture("long.ts", "-f lavfi -i testsrc2=s=160x120:r=25:d=20 "
                                   "-f lavfi -i sine=frequency=440:sample_rate=44100:duration=20 " +
                                       kH264 + "-c:a aac");
}

std::string VideoOnlyMp4() {
    return MediaFixture("video-only.mp4", kMarkerVideo + kH264);
}

std::string Mp4WithDateAndPlace() {
    return MediaFixture("dated.mp4", kMarkerVideo + kTone + kH264 +
                                         "-c:a aac -metadata creation_time=2024-07-14T10:20:30Z "
                                         "-metadata location=+48.8584+002.2945/");
}

std::string AudioOnlyM4a() {
    return MediaFixture("audio-only.m4a", kTone + "-c:a aac");
}

std::unique_ptr<CConvertJob> MakeBatchJob(const std::vector<std::string>& inputs,
                                          const std::vector<std::string>& outputs, int rotation,
                                          double durationSeconds) {
    auto job = std::make_unique<CConvertJob>();
    const int count = static_cast<int>(inputs.size());
    job->PrepareEntries(count);
    job->m_inputPaths = inputs;
    job->m_outputPaths = outputs;
    for (int i = 0; i < count; ++i) {
        job->m_fileDuration[i] = durationSeconds;
    }
    job->m_currentFile = -1;
    job->m_rotation = rotation;
    // Matroska stays Matroska here, so that the tests of its marks see them; the choice of MP4 for a
    // Matroska input has its own tests, which clear this.
    job->m_keepMatroska = 1;
    return job;
}

BatchOutcome RunBatch(CConvertJob& job) {
    BatchOutcome outcome;
    outcome.exitCode = ConvertThreadProc(&job);
    outcome.currentFile = job.m_currentFile.load();
    for (int i = 0; i < job.m_fileCount; ++i) {
        outcome.statuses.push_back(job.m_fileStatus[i].load());
    }
    return outcome;
}

MarkAttempt PlanAndMark(InPlaceFamily family, int inputFd, int outputFd, const Turn& turn,
                        const std::atomic<std::uint8_t>& cancel, std::atomic<std::int32_t>& percent) {
    MarkAttempt attempt;
    const InPlaceDecision decision = PlanInPlace(inputFd, family, turn);
    if (!decision.plan) {
        attempt.reason = PlainInPlaceRefusal(decision.refusal);
        return attempt;
    }
    attempt.eligible = true;
    static_cast<MarkInPlaceResult&>(attempt) =
        MarkInPlace(*decision.plan, inputFd, outputFd, cancel, percent);
    attempt.reason = PlainMarkReason(attempt);
    return attempt;
}

MarkAttempt MarkFileInPlace(InPlaceFamily family, const std::string& input, const std::string& output,
                            const Turn& turn, std::uint8_t cancelValue) {
    const FileDescriptor in(open(input.c_str(), O_RDONLY | O_CLOEXEC));
    const FileDescriptor out(open(output.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
    EXPECT_GE(in.get(), 0) << input;
    EXPECT_GE(out.get(), 0) << output;
    const std::atomic<std::uint8_t> cancel{cancelValue};
    std::atomic<std::int32_t> percent{-1};
    const MarkAttempt result = PlanAndMark(family, in.get(), out.get(), turn, cancel, percent);
    if (result.eligible && result.outcome == MarkInPlaceOutcome::Marked) {
        EXPECT_EQ(percent.load(), 100);
    }
    return result;
}

std::uint32_t Be32At(const std::string& bytes, std::size_t at) {
    return (static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at])) << 24) |
           (static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + 1])) << 16) |
           (static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + 2])) << 8) |
           static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + 3]));
}

void PutBe32(std::string& bytes, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        bytes[at + static_cast<std::size_t>(i)] = static_cast<char>(value >> (24 - 8 * i));
    }
}

} // namespace quarnix::test
