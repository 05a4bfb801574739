#include "EngineFixtures.h"
#include "Fixtures.h"
#include "engine/Containers.h"
#include "engine/inplace/quicktime/QuickTimeMovieFacts.h"
#include "engine/io/FileDescriptor.h"
#include "engine/probe/MediaProbe.h"
#include "engine/probe/MediaText.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <random>

extern "C" {
#include <libavutil/log.h>
}

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
        std::ofstream(dir.file("truncated.mp4"), std::ios::binary)
            << ReadFileBytes(MarkerClip("mp4")).substr(0, 600);
    }
    const std::string refused[] = {dir.file("empty.mp4"), dir.file("noise.mp4"),   dir.file("truncated.mp4"),
                                   dir.path().string(),   dir.file("missing.mp4"), AudioOnlyM4a()};
    for (const std::string& path : refused) {
        const MediaFacts facts = ProbeMedia(path);
        EXPECT_FALSE(facts.Accepted()) << path;
        EXPECT_FALSE(facts.refusal.empty()) << path;
    }
}

std::optional<MediaFacts> BoxAcceptance(const std::string& path) {
    const FileDescriptor fd(open(path.c_str(), O_RDONLY | O_CLOEXEC));
    EXPECT_GE(fd.get(), 0) << path;
    return IsMatroskaFamilyName(path) ? MatroskaAcceptance(fd.get()) : QuickTimeAcceptance(fd.get());
}

// What the demuxer alone says: the same bytes under a name outside the QuickTime family, which the box
// reading never takes (the demuxer is chosen by the contents, not the name).
MediaFacts DemuxerAcceptance(const ScopedTempDir& dir, const std::string& path) {
    const std::string other = dir.file("same-bytes.data");
    std::filesystem::copy_file(path, other, std::filesystem::copy_options::overwrite_existing);
    return ProbeMedia(other, nullptr, ProbeDepth::kAcceptance);
}

std::string CoverOnlyMp4() {
    const std::string cover = MediaFixture("cover.jpg", "-f lavfi -i color=c=red:s=64x64 -frames:v 1");
    return MediaFixture("cover-only.mp4",
                        kTone + "-i " + ShellQuote(cover) +
                            " -map 0 -map 1 -c:a aac -c:v copy -disposition:v attached_pic");
}

std::string FragmentedMp4() {
    return MediaFixture("fragmented.mp4",
                        kMarkerVideo + kTone + kH264 + "-c:a aac -movflags frag_keyframe+empty_moov");
}

// The marker clip's bytes changed by `damage`, written under the clip's name in dir.
std::string DamagedClip(const ScopedTempDir& dir, const std::function<void(std::string&)>& damage) {
    std::string bytes = ReadFileBytes(MarkerClip("mp4"));
    damage(bytes);
    const std::string path = dir.file("damaged.mp4");
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
}

// The clip with the first box of type `from` in its movie renamed to `to`.
std::string RenamedBoxClip(const ScopedTempDir& dir, const std::string& from, const std::string& to) {
    return DamagedClip(dir, [&](std::string& bytes) {
        const std::size_t at = bytes.find(from, bytes.rfind("moov"));
        ASSERT_NE(at, std::string::npos);
        bytes.replace(at, 4, to);
    });
}

// Sets the media libraries' log level for a scope.
class ScopedLogLevel {
public:
    explicit ScopedLogLevel(int level) : m_saved(av_log_get_level()) { av_log_set_level(level); }
    ~ScopedLogLevel() { av_log_set_level(m_saved); }
    ScopedLogLevel(const ScopedLogLevel&) = delete;
    ScopedLogLevel& operator=(const ScopedLogLevel&) = delete;

private:
    int m_saved;
};

struct AcceptanceCase {
    const char* name;
    std::function<std::string(const ScopedTempDir&)> input;
    bool boxesDecide; // the box structure alone gives the answer
};

void PrintTo(const AcceptanceCase& value, std::ostream* os) {
    *os << value.name;
}

class BoxAcceptanceProbe : public ::testing::TestWithParam<AcceptanceCase> {};

// A batch's probe of a QuickTime-family file gives what the demuxer gives, whether the box structure
// decided it or, when anything there is uncertain, the demuxer did.
TEST_P(BoxAcceptanceProbe, GivesWhatTheDemuxerGives) {
    const AcceptanceCase& param = GetParam();
    ScopedTempDir dir;
    const std::string input = param.input(dir);
    ASSERT_FALSE(input.empty());

    const std::optional<MediaFacts> boxes = BoxAcceptance(input);
    EXPECT_EQ(boxes.has_value(), param.boxesDecide);
    const MediaFacts demuxed = DemuxerAcceptance(dir, input);
    const MediaFacts probed = [&] {
        const ScopedLogLevel quiet(AV_LOG_ERROR);
        return ProbeMedia(input, nullptr, ProbeDepth::kAcceptance);
    }();
    EXPECT_EQ(probed.result, demuxed.result) << demuxed.refusal;
    if (boxes.has_value()) {
        EXPECT_TRUE(demuxed.Accepted()) << demuxed.refusal;
        EXPECT_EQ(probed.durationUs, boxes->durationUs);
        // Only the demuxer gives a frame rate: the probe took the box reading.
        EXPECT_EQ(probed.frameRateNum, 0);
        // The Matroska demuxer takes the duration from the same element, by the same arithmetic.
        if (IsMatroskaFamilyName(input)) {
            EXPECT_EQ(boxes->durationUs, demuxed.durationUs);
        }
    }
    {
        // The same answer, from the same reader, whatever the log level (--verbose).
        const ScopedLogLevel informative(AV_LOG_INFO);
        const MediaFacts verbose = ProbeMedia(input, nullptr, ProbeDepth::kAcceptance);
        EXPECT_EQ(verbose.result, probed.result);
        EXPECT_EQ(verbose.frameRateNum, probed.frameRateNum);
    }
    if (demuxed.Accepted()) {
        EXPECT_NEAR(static_cast<double>(probed.durationUs), static_cast<double>(demuxed.durationUs), 1000.0);
        EXPECT_EQ(probed.width, demuxed.width);
        EXPECT_EQ(probed.height, demuxed.height);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BoxAcceptanceProbe,
    ::testing::Values(
        AcceptanceCase{"mp4", [](const ScopedTempDir&) { return MarkerClip("mp4"); }, true},
        AcceptanceCase{"mov", [](const ScopedTempDir&) { return MarkerClip("mov"); }, true},
        AcceptanceCase{"m4v", [](const ScopedTempDir&) { return MarkerClip("m4v"); }, true},
        AcceptanceCase{"3gp", [](const ScopedTempDir&) { return MarkerClip("3gp"); }, true},
        AcceptanceCase{"mov_chapters_and_timecode",
                       [](const ScopedTempDir&) { return ChapteredMovWithTimecode(); }, true},
        AcceptanceCase{"mov_two_video_tracks", [](const ScopedTempDir&) { return MovWithTwoVideoTracks(); },
                       true},
        AcceptanceCase{"mp4_video_and_cover", [](const ScopedTempDir&) { return Mp4WithCover(); }, true},
        AcceptanceCase{"mkv", [](const ScopedTempDir&) { return MarkerClip("mkv"); }, true},
        AcceptanceCase{"webm_vp9_opus",
                       [](const ScopedTempDir&) {
                           return MediaFixture(
                               "marker-vp9.webm",
                               kMarkerVideo + kTone +
                                   "-c:v libvpx-vp9 -deadline realtime -b:v 200k -c:a libopus "
                                   "-shortest");
                       },
                       true},
        // A subtitle track is a stream the element reading does not judge: the demuxer does.
        AcceptanceCase{"mkv_with_subtitle", [](const ScopedTempDir&) { return MkvWithSubtitle(); }, false},
        AcceptanceCase{"mkv_truncated",
                       [](const ScopedTempDir& dir) {
                           std::string bytes = ReadFileBytes(MarkerClip("mkv"));
                           bytes.resize(bytes.size() / 2);
                           const std::string path = dir.file("cut.mkv");
                           std::ofstream(path, std::ios::binary) << bytes;
                           return path;
                       },
                       false},
        AcceptanceCase{"m4a_audio_only", [](const ScopedTempDir&) { return AudioOnlyM4a(); }, false},
        AcceptanceCase{"mp4_cover_only", [](const ScopedTempDir&) { return CoverOnlyMp4(); }, false},
        AcceptanceCase{"mp4_fragmented", [](const ScopedTempDir&) { return FragmentedMp4(); }, false},
        AcceptanceCase{"mp4_truncated",
                       [](const ScopedTempDir& dir) {
                           return DamagedClip(dir,
                                              [](std::string& bytes) { bytes.resize(bytes.size() - 100); });
                       },
                       false},
        // The video's sample count points far past its table: the structure is still clean enough to
        // mark in place, but the samples are not clearly listed.
        AcceptanceCase{"mp4_sample_count_beyond_its_table",
                       [](const ScopedTempDir& dir) {
                           return DamagedClip(dir, [](std::string& bytes) {
                               const std::size_t stsz = bytes.find("stsz", bytes.rfind("moov"));
                               ASSERT_NE(stsz, std::string::npos);
                               bytes.replace(stsz + 12, 4, "\x00\x10\x00\x00");
                           });
                       },
                       false},
        // Boxes the demuxer reads wherever it finds them, put where no track keeps them: a media header
        // renamed to a second track header, the media information renamed to a track inside the media.
        AcceptanceCase{"mp4_media_header_renamed_track_header",
                       [](const ScopedTempDir& dir) { return RenamedBoxClip(dir, "mdhd", "tkhd"); }, false},
        AcceptanceCase{"mp4_track_inside_media",
                       [](const ScopedTempDir& dir) { return RenamedBoxClip(dir, "minf", "trak"); }, false},
        // 10,000 user-data boxes, each inside the one before, at the end of the movie (which comes last):
        // deeper than the demuxer descends.
        AcceptanceCase{"mp4_user_data_nested_too_deep",
                       [](const ScopedTempDir& dir) {
                           return DamagedClip(dir, [](std::string& bytes) {
                               const std::size_t moov = bytes.rfind("moov") - 4;
                               constexpr std::uint32_t kDepth = 10000;
                               std::string nested;
                               for (std::uint32_t i = 0; i < kDepth; ++i) {
                                   const std::uint32_t size = 8 * (kDepth - i);
                                   nested += {static_cast<char>(size >> 24), static_cast<char>(size >> 16),
                                              static_cast<char>(size >> 8), static_cast<char>(size)};
                                   nested += "udta";
                               }
                               ASSERT_EQ(bytes.size() - moov, Be32At(bytes, moov));
                               const std::uint32_t moovSize = Be32At(bytes, moov) + 8 * kDepth;
                               bytes += nested;
                               PutBe32(bytes, moov, moovSize);
                           });
                       },
                       false}));

} // namespace
} // namespace quarnix::test
