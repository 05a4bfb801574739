#include "engine/probe/MediaText.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

namespace quarnix {
namespace {

TEST(MediaText, DurationTextAndItsInverse) {
    struct Case {
        std::int32_t ms;
        const char* text;
    };
    const Case cases[] = {{0, "00:00:00.000"},          {3723004, "01:02:03.004"},
                          {59999, "00:00:59.999"},      {36610, "00:00:36.610"},
                          {360000000, "100:00:00.000"}, {362281005, "100:38:01.005"},
                          {2147483647, "596:31:23.647"}};
    for (const Case& c : cases) {
        EXPECT_EQ(FormatDuration(c.ms), c.text) << c.ms;
        EXPECT_EQ(ParseDuration(c.text), c.ms) << c.text;
    }
}

TEST(MediaText, MissingContainerDurationListsAsZero) {
    EXPECT_EQ(ListDurationMilliseconds(std::numeric_limits<std::int64_t>::min()), 0);
    EXPECT_EQ(FormatDuration(ListDurationMilliseconds(std::numeric_limits<std::int64_t>::min())),
              "00:00:00.000");
    EXPECT_EQ(ListDurationMilliseconds(2'000'999), 2000);
}

TEST(MediaText, Extensions) {
    EXPECT_EQ(FileExtension("/v/a.b.mp4"), "mp4");
    EXPECT_EQ(FileExtension("/v/CLIP.MOV"), "MOV");
    EXPECT_EQ(FileExtension("/v/noext"), "/v/noext");
    EXPECT_EQ(DottedExtension("/v/clip.mp4"), ".mp4");
    EXPECT_EQ(DottedExtension("/v/noext"), "/v/noext");
}

TEST(MediaText, RowTexts) {
    EXPECT_EQ(FormatFrameSize(1920, 1080), "1920*1080");
    EXPECT_EQ(FormatBitRate(4'500'999), "4500kbps");
    EXPECT_EQ(FormatFrameRate(8, 1), " 8.00fps");
    EXPECT_EQ(FormatFrameRate(30000, 1001), "29.97fps");
    EXPECT_EQ(FormatFrameRate(25, 0), " 0.00fps");
}

} // namespace
} // namespace quarnix
