#include "EngineFixtures.h"
#include "Fixtures.h"
#include "MediaProbe.h"
#include "MediaText.h"

#include <gtest/gtest.h>

#include <fstream>
#include <random>

namespace quarnix::test {
namespace {

TEST(Probe, FillsTheListFactsOfAVideoWithSound) {
    const MediaFacts facts = ProbeMedia(MarkerClip("mp4"));
    ASSERT_TRUE(facts.Accepted()) << facts.refusal;
    EXPECT_EQ(facts.width, 160);
    EXPECT_EQ(facts.height, 120);
    EXPECT_EQ(facts.frameRateNum, 25);
    EXPECT_EQ(facts.frameRateDen, 1);
    EXPECT_GT(facts.videoBitRate, 0);
    EXPECT_EQ(facts.channels, 1);
    EXPECT_EQ(facts.sampleRate, 44100);
    EXPECT_GT(facts.audioBitRate, 0);
    EXPECT_NEAR(facts.durationUs / 1e6, 2.0, 0.1);
    EXPECT_EQ(facts.profile, 100); // H.264 High
    EXPECT_EQ(FormatDuration(ListDurationMilliseconds(facts.durationUs)).substr(0, 8), "00:00:02");
}

TEST(Probe, VideoOnlyHasNoAudioFacts) {
    const MediaFacts facts = ProbeMedia(VideoOnlyMp4());
    ASSERT_TRUE(facts.Accepted());
    EXPECT_EQ(facts.channels, 0);
    EXPECT_EQ(facts.sampleRate, 0);
    EXPECT_EQ(facts.width, 160);
}

TEST(Probe, CoverPictureIsNotTakenForTheVideoFacts) {
    const MediaFacts facts = ProbeMedia(Mp4WithCover());
    ASSERT_TRUE(facts.Accepted());
    EXPECT_EQ(facts.width, 160); // the cover is 64x64 and is not decoded
    EXPECT_EQ(facts.height, 120);
}

// What a batch needs (is it a video, how long is it) is the same whether the file is analysed in full or,
// for the QuickTime family and Matroska, only its header is read.
TEST(Probe, AcceptanceAgreesWithTheFullProbe) {
    const std::string inputs[] = {MarkerClip("mp4"), MarkerClip("mov"), MarkerClip("mkv"), MkvWithSubtitle(),
                                  Mp4WithCover(),    VideoOnlyMp4(),    AudioOnlyM4a()};
    for (const std::string& input : inputs) {
        const MediaFacts full = ProbeMedia(input);
        const MediaFacts quick = ProbeMedia(input, nullptr, ProbeDepth::kAcceptance);
        EXPECT_EQ(quick.Accepted(), full.Accepted()) << input;
        EXPECT_EQ(quick.durationUs, full.durationUs) << input;
        EXPECT_EQ(quick.width, full.width) << input;
    }
}

TEST(Probe, RefusesWhatIsNotAVideo) {
    ScopedTempDir dir;
    std::ofstream(dir.file("empty.mp4")).flush();
    {
        std::ofstream noise(dir.file("noise.mp4"), std::ios::binary);
        std::mt19937 random(7);
        for (int i = 0; i < 65536; ++i) {
            noise.put(static_cast<char>(random()));
        }
    }
    {
        std::ifstream whole(MarkerClip("mp4"), std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(whole)), {});
        std::ofstream(dir.file("truncated.mp4"), std::ios::binary) << bytes.substr(0, 600);
    }
    const std::string refused[] = {dir.file("empty.mp4"), dir.file("noise.mp4"),   dir.file("truncated.mp4"),
                                   dir.path().string(),   dir.file("missing.mp4"), AudioOnlyM4a()};
    for (const std::string& path : refused) {
        const MediaFacts facts = ProbeMedia(path);
        EXPECT_FALSE(facts.Accepted()) << path;
        EXPECT_FALSE(facts.refusal.empty()) << path;
    }
}

} // namespace
} // namespace quarnix::test
