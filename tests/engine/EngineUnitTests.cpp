#include "engine/Rotation.h"
#include "engine/batch/FilePercent.h"
#include "engine/remux/TimestampRepair.h"

#include <gtest/gtest.h>

extern "C" {
#include <libavcodec/packet.h>
#include <libavutil/avutil.h>
}

namespace quarnix {
namespace {

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
