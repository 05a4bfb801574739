// The program's pictures and strings: present by id, at their sizes, and safe as shape pictures.
#include "Resources.h"

#include <gtest/gtest.h>

using namespace quarnix;

namespace {

int CountPixels(const QImage& image, QRgb colour) {
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            count += (image.pixel(x, y) & 0xFFFFFF) == (colour & 0xFFFFFF) ? 1 : 0;
        }
    }
    return count;
}

} // namespace

TEST(Resources, ButtonPicturesHaveTheirSizesNoPureWhiteAndALightBlueCorner) {
    struct Picture {
        int id;
        QSize size;
    };
    const Picture pictures[] = {
        {178, {115, 52}}, {336, {115, 52}}, {331, {115, 52}}, {340, {115, 52}},
        {214, {115, 52}}, {341, {115, 52}}, {295, {90, 93}},  {338, {90, 93}},
        {335, {65, 35}},  {337, {65, 35}},  {268, {96, 35}},  {339, {96, 35}},
    };
    for (const Picture& picture : pictures) {
        SCOPED_TRACE(picture.id);
        const QImage image = LoadBitmapResource(picture.id).convertToFormat(QImage::Format_RGB32);
        ASSERT_FALSE(image.isNull());
        EXPECT_EQ(image.size(), picture.size);
        EXPECT_EQ(CountPixels(image, qRgb(255, 255, 255)), 0);
        const QColor corner = image.pixelColor(0, 0);
        EXPECT_LE(std::abs(corner.red() - 187) + std::abs(corner.green() - 222) +
                      std::abs(corner.blue() - 251),
                  12);
        // The twin for dense screens: the same picture at twice the size.
        const QImage twin = LoadBitmapResource(picture.id, 2).convertToFormat(QImage::Format_RGB32);
        ASSERT_FALSE(twin.isNull());
        EXPECT_EQ(twin.size(), picture.size * 2);
        EXPECT_EQ(CountPixels(twin, qRgb(255, 255, 255)), 0);
        const QImage halved = twin.scaled(picture.size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        long difference = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                difference += std::abs(qGray(halved.pixel(x, y)) - qGray(image.pixel(x, y)));
            }
        }
        EXPECT_LT(difference / (image.width() * image.height()), 8);
    }
    EXPECT_TRUE(LoadBitmapResource(kHeaderCheckBitmapId, 2).isNull());
    // The hover picture differs from the normal one.
    EXPECT_NE(LoadBitmapResource(178), LoadBitmapResource(336));
}

TEST(Resources, HeaderCheckStripHoldsBlankEmptyAndTickedBoxesOnMagenta) {
    const QImage strip = LoadBitmapResource(kHeaderCheckBitmapId);
    ASSERT_EQ(strip.size(), QSize(48, 16));
    EXPECT_EQ(strip.depth(), 8);
    const QImage rgb = strip.convertToFormat(QImage::Format_RGB32);
    const QRgb magenta = qRgb(255, 0, 255);
    EXPECT_EQ(CountPixels(rgb.copy(0, 0, 16, 16), magenta), 256);
    const QImage empty = rgb.copy(16, 0, 16, 16), ticked = rgb.copy(32, 0, 16, 16);
    EXPECT_GT(CountPixels(empty, magenta), 0); // keyed-out margin round the box
    EXPECT_NE(empty, ticked);
    EXPECT_EQ(empty.pixel(0, 0), magenta);
}

TEST(Resources, IconAndStringsById) {
    EXPECT_FALSE(LoadIconResource(kProgramIconId).isNull());
    EXPECT_TRUE(LoadIconResource(1).isNull());
    EXPECT_TRUE(LoadBitmapResource(1).isNull());
    EXPECT_EQ(LoadStringResource(kAboutMenuStringId), QStringLiteral("Quarnix..."));
    EXPECT_EQ(LoadStringResource(1), QString());
}
