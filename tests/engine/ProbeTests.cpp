#include "EngineFixtures.h"
#include "Fixtures.h"
#include "MediaProbe.h"
#include "MediaText.h"

#include <gtest/gtest.h>

#include <fstream>
#include <random>

namespace quarnix::test {
namespace {

int Probe(CConvertJob& job, const std::string& path) {
    job.m_probePath = path;
    return ProbeMediaFile(job);
}

TEST(Probe, FillsTheListFactsOfAVideoWithSound) {
    CConvertJob job;
    ASSERT_EQ(Probe(job, MarkerClip("mp4")), kProbeAccepted);
    EXPECT_EQ(job.m_probeWidth, 160);
    EXPECT_EQ(job.m_probeHeight, 120);
    EXPECT_EQ(job.m_probeFrameRateNum, 25);
    EXPECT_EQ(job.m_probeFrameRateDen, 1);
    EXPECT_GT(job.m_videoBitRate, 0);
    EXPECT_EQ(job.m_channels, 1);
    EXPECT_EQ(job.m_sampleRate, 44100);
    EXPECT_GT(job.m_audioBitRate, 0);
    EXPECT_NEAR(job.m_probeDuration / 1e6, 2.0, 0.1);
    EXPECT_EQ(job.m_probeProfile, 100); // H.264 High
    EXPECT_EQ(FormatDuration(ListDurationMilliseconds(job.m_probeDuration)).substr(0, 8), "00:00:02");
}

TEST(Probe, VideoOnlyKeepsThePreviousAudioFacts) {
    CConvertJob job;
    job.m_channels = 7;
    job.m_sampleRate = 12345;
    ASSERT_EQ(Probe(job, VideoOnlyMp4()), kProbeAccepted);
    EXPECT_EQ(job.m_channels, 7);
    EXPECT_EQ(job.m_sampleRate, 12345);
    EXPECT_EQ(job.m_probeWidth, 160);
}

TEST(Probe, CoverPictureIsNotTakenForTheVideoFacts) {
    CConvertJob job;
    ASSERT_EQ(Probe(job, Mp4WithCover()), kProbeAccepted);
    EXPECT_EQ(job.m_probeWidth, 160); // the cover is 64x64 and is not decoded
    EXPECT_EQ(job.m_probeHeight, 120);
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
        CConvertJob job;
        EXPECT_LT(Probe(job, path), 0) << path;
    }
}

} // namespace
} // namespace quarnix::test
