// CControlButton: pictures per hover and pressed state, and the shape cut from a picture.
#include "Resources.h"
#include "WidgetTestHelpers.h"
#include "controls/ControlButton.h"

#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

using namespace quarnix;
using quarnix::test::Grab;
using quarnix::test::ShowAndExpose;

namespace {

constexpr int kAddNormal = 178, kAddHover = 336, kRemoveNormal = 331;
constexpr int kHolesBitmap = 9001; // test picture: white with a blue block at (10,5)-(29,14)

QImage Picture(int id) {
    return LoadBitmapResource(id).convertToFormat(QImage::Format_RGB32);
}

// A window with a plain button underneath the image button, both at the same place, so that a click
// that misses the image button's shape lands on the one below.
struct ButtonWindow {
    QWidget window;
    QPushButton* beneath = new QPushButton(&window);
    CControlButton* button = new CControlButton(&window);

    explicit ButtonWindow(QSize buttonSize) {
        window.resize(300, 200);
        beneath->setGeometry(QRect(QPoint(20, 20), buttonSize));
        button->setGeometry(QRect(QPoint(20, 20), buttonSize));
        button->setText(QStringLiteral("Add"));
        ShowAndExpose(window);
    }
    QWindow* handle() { return window.windowHandle(); }
    QPoint At(int x, int y) const { return button->mapTo(&window, QPoint(x, y)); }
};

} // namespace

TEST(ControlButton, RegionFromBitmapCoversEveryPixelThatIsNotPureWhite) {
    EXPECT_FALSE(CControlButton::RegionFromBitmap(QImage()).has_value());

    const std::optional<QRegion> holes = CControlButton::RegionFromBitmap(Picture(kHolesBitmap));
    ASSERT_TRUE(holes.has_value());
    EXPECT_EQ(holes->boundingRect(), QRect(10, 5, 20, 10));
    EXPECT_EQ(holes->rectCount(), 1);

    QImage nearlyWhite(8, 4, QImage::Format_RGB32);
    nearlyWhite.fill(qRgb(254, 255, 255));
    nearlyWhite.setPixel(3, 2, qRgb(255, 255, 255));
    const std::optional<QRegion> almostFull = CControlButton::RegionFromBitmap(nearlyWhite);
    ASSERT_TRUE(almostFull.has_value());
    EXPECT_EQ(almostFull->boundingRect(), QRect(0, 0, 8, 4));
    EXPECT_FALSE(almostFull->contains(QPoint(3, 2)));
    EXPECT_TRUE(almostFull->contains(QPoint(4, 2)));
}

TEST(ControlButton, HoverShowsTheHoverPictureUntilThePointerLeaves) {
    ButtonWindow ui(QSize(115, 52));
    ui.button->SetBitmaps(kAddHover, kAddNormal, kAddNormal);
    EXPECT_EQ(Grab(*ui.button), Picture(kAddNormal));

    QTest::mouseMove(ui.handle(), ui.At(50, 25));
    EXPECT_TRUE(ui.button->IsHovered());
    EXPECT_EQ(Grab(*ui.button), Picture(kAddHover));

    QTest::mouseMove(ui.handle(), QPoint(250, 150));
    EXPECT_FALSE(ui.button->IsHovered());
    EXPECT_EQ(Grab(*ui.button), Picture(kAddNormal));
}

TEST(ControlButton, PressedPictureCoversTheFaceWhileDownAndReleaseClicks) {
    ButtonWindow ui(QSize(115, 52));
    ui.button->SetBitmaps(kAddHover, kAddNormal, kRemoveNormal);
    QSignalSpy clicked(ui.button, &QPushButton::clicked);

    QTest::mouseMove(ui.handle(), ui.At(50, 25));
    QTest::mousePress(ui.handle(), Qt::LeftButton, {}, ui.At(50, 25));
    EXPECT_TRUE(ui.button->isDown());
    EXPECT_EQ(Grab(*ui.button), Picture(kRemoveNormal));

    QTest::mouseRelease(ui.handle(), Qt::LeftButton, {}, ui.At(50, 25));
    EXPECT_EQ(clicked.count(), 1);
    EXPECT_EQ(Grab(*ui.button), Picture(kAddHover)); // still under the pointer
}

TEST(ControlButton, DisabledButtonLooksLikeAnEnabledOne) {
    ButtonWindow ui(QSize(115, 52));
    ui.button->SetBitmaps(kAddHover, kAddNormal, kAddNormal);
    ui.button->setEnabled(false);
    EXPECT_EQ(Grab(*ui.button), Picture(kAddNormal));
}

TEST(ControlButton, WhitePixelsOfTheShapeLetClicksThroughToTheWindowBeneath) {
    ButtonWindow ui(QSize(40, 20));
    ui.button->SetBitmaps(kHolesBitmap, kHolesBitmap, kHolesBitmap);
    ui.button->SetShapeBitmap(kHolesBitmap);
    QSignalSpy buttonClicks(ui.button, &QPushButton::clicked);
    QSignalSpy beneathClicks(ui.beneath, &QPushButton::clicked);

    QTest::mouseClick(ui.handle(), Qt::LeftButton, {}, ui.At(2, 2)); // white corner: a hole
    EXPECT_EQ(buttonClicks.count(), 0);
    EXPECT_EQ(beneathClicks.count(), 1);

    QTest::mouseClick(ui.handle(), Qt::LeftButton, {}, ui.At(15, 10)); // the blue block
    EXPECT_EQ(buttonClicks.count(), 1);
    EXPECT_EQ(beneathClicks.count(), 1);
}

TEST(ControlButton, ShapeWithoutWhiteCutsALargerButtonToThePictureRectangle) {
    ButtonWindow ui(QSize(140, 70));
    ui.button->SetBitmaps(kAddHover, kAddNormal, kAddNormal);
    ui.button->SetShapeBitmap(kAddNormal);
    EXPECT_EQ(ui.button->mask(), QRegion(0, 0, 115, 52));
    QSignalSpy buttonClicks(ui.button, &QPushButton::clicked);
    QSignalSpy beneathClicks(ui.beneath, &QPushButton::clicked);

    QTest::mouseClick(ui.handle(), Qt::LeftButton, {}, ui.At(114, 51));
    QTest::mouseClick(ui.handle(), Qt::LeftButton, {}, ui.At(120, 60));
    EXPECT_EQ(buttonClicks.count(), 1);
    EXPECT_EQ(beneathClicks.count(), 1);
}

TEST(ControlButton, UnknownBitmapIdsLeaveEmptyPicturesAndARectangularButton) {
    ButtonWindow ui(QSize(40, 20));
    ui.button->SetShapeBitmap(kHolesBitmap);
    ui.button->SetShapeBitmap(1);
    EXPECT_TRUE(ui.button->mask().isEmpty());
    ui.button->SetBitmaps(1, 2, 3);
    EXPECT_FALSE(Grab(*ui.button).isNull()); // paints nothing, and does not fail
}

// The caption is drawn inside its box only, over the picture, in the button's font; a caption too wide
// for the box gets a smaller size. The focus shows as a mark, and only while the button has the focus.
TEST(ControlButton, CaptionOverThePictureAndAFocusMark) {
    ButtonWindow ui(QSize(115, 52));
    ui.button->SetBitmaps(kAddHover, kAddNormal, kAddNormal);
    const QRect box(39, 2, 70, 47);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(14);
    font.setBold(true);
    ui.button->setFont(font);
    ui.button->SetCaptionBox(box);
    const QImage face = Picture(kAddNormal);
    const QImage captioned = Grab(*ui.button);
    const QRect ink = test::InkBounds(captioned.copy(box), face.pixelColor(box.center()));
    EXPECT_FALSE(ink.isEmpty());
    for (int y = 0; y < face.height(); ++y) {
        for (int x = 0; x < face.width(); ++x) {
            if (!box.adjusted(0, 0, 0, 1).contains(x, y)) {
                ASSERT_EQ(captioned.pixel(x, y), face.pixel(x, y)) << x << "," << y;
            }
        }
    }
    EXPECT_EQ(ui.button->CaptionFont().pixelSize(), 14);
    ui.button->setText(QStringLiteral("Hinzufuegen"));
    EXPECT_LT(ui.button->CaptionFont().pixelSize(), 14);
    EXPECT_LE(QFontMetrics(ui.button->CaptionFont()).horizontalAdvance(ui.button->text()), box.width());

    ui.button->SetCaptionBox(QRect());
    EXPECT_EQ(Grab(*ui.button), face);
    ui.button->setFocus(Qt::TabFocusReason);
    ASSERT_TRUE(ui.button->hasFocus());
    EXPECT_NE(Grab(*ui.button), face);
    ui.button->clearFocus();
    EXPECT_EQ(Grab(*ui.button), face);
    ui.button->setFocus(Qt::MouseFocusReason); // a click shows no mark
    EXPECT_EQ(Grab(*ui.button), face);
}
