#include "engine/Rotation.h"
#include "engine/batch/FilePercent.h"
#include "engine/io/OutputName.h"
#include "engine/probe/MovieDuration.h"
#include "engine/remux/TimestampRepair.h"

#include "Fixtures.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <cmath>

extern "C" {
#include <libavcodec/packet.h>
#include <libavutil/avutil.h>
#include <libavutil/display.h>
#include <libavutil/mathematics.h>
}

namespace quarnix {
namespace {

using test::ScopedTempDir;

void Touch(const std::string& path) {
    std::ofstream(path) << "x";
}

TEST(OutputName, KeepsNameAndExtensionAndNumbersWhatIsTaken) {
    ScopedTempDir dir;
    const std::string out = dir.path().string();
    EXPECT_EQ(ChooseOutputPath(out, "/in/clip.mp4", {}), out + "/clip.mp4");
    EXPECT_EQ(ChooseOutputPath(out + "/", "/in/clip.avi", {}), out + "/clip.avi");

    Touch(dir.file("clip.mp4"));
    Touch(dir.file("clip(0).mp4"));
    EXPECT_EQ(ChooseOutputPath(out, "/in/clip.mp4", {}), out + "/clip(1).mp4");
    // Outputs made earlier in the same batch count as taken.
    EXPECT_EQ(ChooseOutputPath(out, "/other/clip.mp4", {out + "/clip(1).mp4"}), out + "/clip(2).mp4");
    // A dangling link is taken too: the worker could not create the file there.
    std::filesystem::create_symlink(dir.file("nowhere"), dir.file("link.mov"));
    EXPECT_EQ(ChooseOutputPath(out, "/in/link.mov", {}), out + "/link(0).mov");
}

TEST(OutputName, IntoTheInputsOwnFolderNeverNamesTheInput) {
    ScopedTempDir dir;
    std::filesystem::create_directory(dir.path() / "my.videos");
    const std::string input = (dir.path() / "my.videos" / "a.b.mkv").string();
    Touch(input);
    const std::string folder = (dir.path() / "my.videos").string();
    EXPECT_EQ(ChooseOutputPath(folder, input, {}), folder + "/a.b(0).mkv");
}

TEST(OutputName, FileNamesAndNumbering) {
    EXPECT_EQ(FileNameOf("/a/b/clip.mp4"), "clip.mp4");
    EXPECT_EQ(FileNameOf("clip.mp4"), "clip.mp4");
    EXPECT_EQ(FileNameOf("/a/b/"), "");
    EXPECT_EQ(NumberedOutputName("/a/clip.mp4", 3), "/a/clip(3).mp4");
    EXPECT_EQ(NumberedOutputName("/a.d/clip", 0), "/a.d/clip(0)"); // a dot in a folder is not an extension
    EXPECT_EQ(NumberedOutputName("/a/.hidden", 1), "/a/(1).hidden");
    EXPECT_TRUE(IsFolder("/"));
    EXPECT_FALSE(IsFolder("/dev/null"));
}

TEST(FilePercent, FromTheLaterClock) {
    struct Case {
        double audio, video, span;
        std::int32_t percent;
    };
    const Case cases[] = {
        {1.0, 0.5, 4.0, 25},  {0.5, 1.0, 4.0, 25},    {1.0, 1.0, 3.0, 33},
        {9.0, 9.0, 4.0, 100}, {-1.0, -2.0, 4.0, 0},   {1.0, 1.0, 0.0, 0},
        {0.0, 0.0, 0.0, 0},   {1e12, 0.0, 1e-3, 100}, {-1e12, -1e12, 1e-3, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ComputeFilePercent(c.audio, c.video, c.span), c.percent)
            << c.audio << " " << c.video << " " << c.span;
    }
}

TEST(DisplayMatrix, CanonicalClockwiseMatricesWithTranslation) {
    constexpr std::int32_t one = 65536;
    constexpr std::int32_t w = 1 << 30;
    using M = std::array<std::int32_t, 9>;
    EXPECT_EQ(ClockwiseDisplayMatrix(90, 1920, 1080), (M{0, one, 0, -one, 0, 0, 1080 * one, 0, w}));
    EXPECT_EQ(ClockwiseDisplayMatrix(180, 1920, 1080),
              (M{-one, 0, 0, 0, -one, 0, 1920 * one, 1080 * one, w}));
    EXPECT_EQ(ClockwiseDisplayMatrix(270, 1920, 1080), (M{0, -one, 0, one, 0, 0, 0, 1920 * one, w}));
    EXPECT_EQ(ClockwiseDisplayMatrix(0, 1920, 1080), (M{one, 0, 0, 0, one, 0, 0, 0, w}));
}

// The in-place path works without libavutil; what it computes by hand gives what libavutil gives.
TEST(WithoutTheMediaLibraries, MatrixAnglesAndDurationsAsLibavutilGivesThem) {
    // Rotations by any angle, also scaled: the nearest quarter turn of libavutil's angle.
    for (int degrees = -180; degrees < 540; degrees += 7) {
        for (double scale : {1.0, 0.5, 3.0}) {
            std::int32_t matrix[9];
            av_display_rotation_set(matrix, degrees);
            for (int i : {0, 1, 3, 4}) {
                matrix[i] = static_cast<std::int32_t>(matrix[i] * scale);
            }
            const DisplayTransform transform = TransformOfMatrix(matrix);
            const double shown = -av_display_rotation_get(matrix);
            EXPECT_EQ(transform.clockwise,
                      NormalizedDegrees(static_cast<int>(std::lround(shown / 90.0)) * 90))
                << degrees << " at " << scale;
            EXPECT_FALSE(transform.mirrored);
        }
    }
    const std::int32_t degenerate[9] = {0, 0, 0, 0, 0, 0, 0, 0, 1 << 30};
    EXPECT_EQ(TransformOfMatrix(degenerate), DisplayTransform{});

    // Movie durations in microseconds, rounded as av_rescale rounds them, up to what no longer fits.
    const std::int64_t max = std::numeric_limits<std::int64_t>::max();
    for (std::uint64_t duration :
         {std::uint64_t{1}, std::uint64_t{1001}, std::uint64_t{2147483646}, std::uint64_t{2147483647},
          std::uint64_t{1} << 40, std::uint64_t{1} << 52, static_cast<std::uint64_t>(max)}) {
        for (std::uint32_t timescale : {1u, 3u, 600u, 30000u, 90000u, 2147483647u}) {
            EXPECT_EQ(RescaledToMicroseconds(duration, timescale),
                      av_rescale(static_cast<std::int64_t>(duration), AV_TIME_BASE, timescale))
                << duration << " / " << timescale;
        }
    }
}

struct Stamp {
    std::int64_t pts, dts;
};

std::vector<Stamp> Repair(const std::vector<Stamp>& input, bool strict = true) {
    DtsRepair repair(strict);
    std::vector<Stamp> out;
    AVPacket* packet = av_packet_alloc();
    for (const Stamp& s : input) {
        packet->pts = s.pts;
        packet->dts = s.dts;
        repair.Apply(*packet);
        out.push_back({packet->pts, packet->dts});
    }
    av_packet_free(&packet);
    return out;
}

bool operator==(const Stamp& a, const Stamp& b) {
    return a.pts == b.pts && a.dts == b.dts;
}
void PrintTo(const Stamp& s, std::ostream* os) {
    *os << "{" << s.pts << "," << s.dts << "}";
}

TEST(DtsRepair, KeepsDecodingTimestampsIncreasing) {
    const std::int64_t none = AV_NOPTS_VALUE;
    // Already increasing: untouched, B-frame reordering included.
    EXPECT_EQ(Repair({{0, -2}, {3, -1}, {1, 0}, {2, 1}}),
              (std::vector<Stamp>{{0, -2}, {3, -1}, {1, 0}, {2, 1}}));
    // A repeated or falling dts is moved just past the previous one, pts follows when needed.
    EXPECT_EQ(Repair({{10, 10}, {10, 10}, {12, 9}}), (std::vector<Stamp>{{10, 10}, {11, 11}, {12, 12}}));
    // Not strict: equal timestamps are allowed.
    EXPECT_EQ(Repair({{10, 10}, {10, 10}}, false), (std::vector<Stamp>{{10, 10}, {10, 10}}));
    // dts after pts: both become the median of pts, dts and the next allowed dts.
    EXPECT_EQ(Repair({{0, 0}, {5, 9}}), (std::vector<Stamp>{{0, 0}, {5, 5}}));
    EXPECT_EQ(Repair({{4, 9}}), (std::vector<Stamp>{{4, 4}}));
    // Missing timestamps stay missing.
    EXPECT_EQ(Repair({{0, 0}, {none, none}, {2, 2}}), (std::vector<Stamp>{{0, 0}, {none, none}, {2, 2}}));
}

} // namespace
} // namespace quarnix
