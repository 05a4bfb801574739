// "Turn the pictures": the frames themselves are turned and encoded again, no mark is written, and every
// other stream is copied as it is.
#include "EngineFixtures.h"
#include "Fixtures.h"
#include "MediaFacts.h"

#include "StalledPipe.h"
#include "engine/reencode/PictureTurn.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

namespace quarnix::test {
namespace {

std::string Probe(const std::string& path, const std::string& entries) {
    std::string out;
    RunCommand("ffprobe -v error -select_streams v:0 -count_frames -show_entries " + entries +
                   " -of csv=p=0 " + ShellQuote(path),
               &out);
    return Trimmed(out);
}

std::string TurnPictures(const ScopedTempDir& dir, const std::string& input, int angle,
                         const std::string& name) {
    auto job = MakeBatchJob({input}, {dir.file(name)}, angle);
    job->m_reencode = 1;
    job->m_turnPictures = 1;
    const BatchOutcome outcome = RunBatch(*job);
    EXPECT_EQ(outcome.statuses, std::vector<int>{kFileStatusConverted}) << job->m_entryReasons[0];
    EXPECT_EQ(job->OutcomeOf(0).method, WriteMethod::kReencoded);
    return job->m_outputPaths[0];
}

TEST(TurnPictures, TurnsTheFramesKeepsEveryFrameAndCopiesTheSound) {
    const std::string input = MarkerClip("mp4");
    const FileFacts in = ReadMediaFacts(input);
    for (int angle : {90, 180, 270}) {
        SCOPED_TRACE(angle);
        ScopedTempDir dir;
        const std::string output = TurnPictures(dir, input, angle, "clip.mp4");
        const bool swapped = angle != 180;
        EXPECT_EQ(Probe(output, "stream=width,height"), swapped ? "120,160" : "160,120");
        // No mark: the box sits where the turn put it in the stored pictures themselves.
        const FileFacts out = ReadMediaFacts(output);
        ASSERT_TRUE(out.opened);
        EXPECT_FALSE(out.OfKind("video").at(0).matrixAngle.has_value());
        EXPECT_TRUE(out.OfKind("video").at(0).rotateTag.empty());
        const char* corner = angle == 90 ? "top-right" : angle == 180 ? "bottom-right" : "bottom-left";
        EXPECT_EQ(DisplayedMarkerCorner(output, angle), corner);
        // Every frame, at the source's rate and aspect; the sound packet for packet.
        EXPECT_EQ(Probe(output, "stream=nb_read_frames"), Probe(input, "stream=nb_read_frames"));
        EXPECT_EQ(Probe(output, "stream=r_frame_rate,sample_aspect_ratio"),
                  Probe(input, "stream=r_frame_rate,sample_aspect_ratio"));
        ASSERT_EQ(out.OfKind("audio").size(), 1u);
        EXPECT_EQ(out.OfKind("audio")[0].packets, in.OfKind("audio")[0].packets);
        EXPECT_EQ(out.OfKind("audio")[0].payloadHash, in.OfKind("audio")[0].payloadHash);
    }
}

// A clip players already show turned 90 and turned 90 more stands upside down in its pictures, unmarked;
// Matroska stays Matroska, with no Projection.
TEST(TurnPictures, AddsToTheMarkTheInputHad) {
    ScopedTempDir dir;
    const std::string marked =
        MediaFixture("turn-marked90.mp4",
                     "-i " + ShellQuote(MarkerClip("mp4")) + " -map 0 -c copy -metadata:s:v:0 rotate=270");
    const std::string output = TurnPictures(dir, marked, 90, "marked.mp4");
    EXPECT_EQ(Probe(output, "stream=width,height"), "160,120");
    EXPECT_EQ(DisplayedMarkerCorner(output, 180), "bottom-right");
    EXPECT_FALSE(ReadMediaFacts(output).OfKind("video").at(0).matrixAngle.has_value());

    const std::string mkv = TurnPictures(dir, MarkerClip("mkv"), 270, "clip.mkv");
    EXPECT_EQ(mkv, dir.file("clip.mkv"));
    EXPECT_EQ(DisplayedMarkerCorner(mkv, 270), "bottom-left");
    EXPECT_TRUE(ReadMkvInfo(mkv).rolls.empty());
}

// Stop during the encode: the file is abandoned and removed, the entry stays pending, as in the copy.
TEST(TurnPictures, StopAbandonsTheFileBeingEncoded) {
    ScopedTempDir dir;
    const std::string pipePath = dir.file("feed.ts");
    StalledPipe pipe(pipePath, LongTs(), 2);
    auto job = MakeBatchJob({pipePath}, {dir.file("feed-out.ts")}, 90, 20.0);
    job->m_reencode = 1;
    job->m_turnPictures = 1;
    BatchOutcome outcome;
    std::thread worker([&] { outcome = RunBatch(*job); });
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (job->m_filePercent.load() <= 0 && !job->m_finished.load() &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_GT(job->m_filePercent.load(), 0);
    job->m_cancel = 1;
    worker.join();
    EXPECT_EQ(outcome.statuses, std::vector<int>{kFileStatusPending});
    std::vector<std::string> names;
    for (const auto& item : std::filesystem::directory_iterator(dir.path())) {
        names.push_back(item.path().filename().string());
    }
    EXPECT_EQ(names, std::vector<std::string>{"feed.ts"});
}

TEST(TurnPictures, FilterChainOfEachTransform) {
    EXPECT_EQ(TurnFilterChain({0, false}), "null");
    EXPECT_EQ(TurnFilterChain({90, false}), "transpose=clock");
    EXPECT_EQ(TurnFilterChain({180, false}), "hflip,vflip");
    EXPECT_EQ(TurnFilterChain({270, true}), "hflip,transpose=cclock");
}

} // namespace
} // namespace quarnix::test
