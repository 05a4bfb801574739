// CLabel: word wrap, tab expansion, no wrap for the no-wrap style, colours.
#include "WidgetTestHelpers.h"
#include "controls/Label.h"
#include "controls/StaticStyle.h"

#include <QApplication>
#include <QFontMetrics>
#include <gtest/gtest.h>

using namespace quarnix;
using quarnix::test::Grab;
using quarnix::test::InkBounds;

namespace {

QColor Background(const CLabel& label) {
    return label.palette().color(QPalette::Button);
}

// A label of the given size, shown in its own window so that it paints.
struct LabelWindow {
    CLabel label;
    LabelWindow(const QString& text, QSize size, std::uint32_t style = 0) {
        label.setText(text);
        label.SetStaticStyle(style);
        label.resize(size);
        quarnix::test::ShowAndExpose(label);
    }
    int LineHeight() const { return QFontMetrics(label.font()).height(); }
};

} // namespace

TEST(Label, LongTextWrapsAtWordsAndIsCutAtTheBottom) {
    const QString text = QStringLiteral("Converting clip number one of many files");
    const int lineHeight = QFontMetrics(CLabel().font()).height();
    const int width = QFontMetrics(CLabel().font()).horizontalAdvance(QStringLiteral("Converting clip")) + 4;

    LabelWindow wrapped(text, QSize(width, lineHeight * 2));
    const QRect ink = InkBounds(Grab(wrapped.label), Background(wrapped.label));
    EXPECT_GT(ink.bottom(), lineHeight); // a second line exists
    EXPECT_LE(ink.right(), width - 1);

    LabelWindow single(text, QSize(width, lineHeight * 2), static_style::kLeftNoWordWrap);
    EXPECT_LT(InkBounds(Grab(single.label), Background(single.label)).bottom(), lineHeight);

    LabelWindow centred(text, QSize(width, lineHeight * 2), static_style::kCenter);
    EXPECT_GT(InkBounds(Grab(centred.label), Background(centred.label)).bottom(), lineHeight);
    EXPECT_TRUE(centred.label.TextFlags() & Qt::AlignHCenter);
}

TEST(Label, TabsAreExpandedExceptInCentredImageStyle) {
    LabelWindow tabbed(QStringLiteral("\tX"), QSize(300, 40));
    const int tabStop = QFontMetrics(tabbed.label.font()).horizontalAdvance(QLatin1Char('x')) * 8;
    EXPECT_GE(InkBounds(Grab(tabbed.label), Background(tabbed.label)).left(), tabStop - 1);

    LabelWindow centredImage(QStringLiteral("a\tb"), QSize(300, 40), static_style::kCenterImage);
    const int flags = centredImage.label.TextFlags();
    EXPECT_FALSE(flags & Qt::TextExpandTabs);
    EXPECT_FALSE(flags & Qt::TextWordWrap);
    EXPECT_TRUE(flags & Qt::AlignVCenter);
    centredImage.label.setText(QStringLiteral("two\r\nlines"));
    EXPECT_FALSE(centredImage.label.TextFlags() & Qt::AlignVCenter);
}

TEST(Label, NewButtonFaceColourShowsWhileTheTextColourStays) {
    LabelWindow ui(QStringLiteral("Status"), QSize(120, 30));
    const QColor textColour = ui.label.palette().color(QPalette::WindowText);
    QPalette changed = ui.label.palette();
    changed.setColor(QPalette::Button, QColor(10, 200, 30));
    changed.setColor(QPalette::WindowText, QColor(200, 0, 200));
    ui.label.setPalette(changed);

    const QImage image = Grab(ui.label);
    EXPECT_EQ(image.pixelColor(118, 28), QColor(10, 200, 30));
    EXPECT_GT(quarnix::test::CountColor(image, textColour), 0);
    EXPECT_EQ(quarnix::test::CountColor(image, QColor(200, 0, 200)), 0);
}
