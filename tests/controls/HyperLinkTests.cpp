// CHyperLink: colours per state, opening through the shell stand-in, failure messages, fit to text.
#include "WidgetTestHelpers.h"
#include "controls/HyperLink.h"
#include "controls/ShellResultText.h"
#include "controls/StaticStyle.h"
#include "platform/widgets/MessageBox.h"
#include "platform/widgets/ShellOpen.h"

#include <QTest>
#include <gtest/gtest.h>

using namespace quarnix;
using quarnix::test::CountColor;
using quarnix::test::Grab;

namespace {

const QString kAddress = QStringLiteral("https://quarnix.example/help");

// Answers every shell-open call with a fixed code and records the targets.
struct FakeShell {
    int result = kShellOpenSucceeded;
    QStringList opened;
    FakeShell() {
        SetShellOpenHandler([this](const QString& target) {
            opened.append(target);
            return result;
        });
    }
    ~FakeShell() { SetShellOpenHandler({}); }
};

// The main window's order: text, font, attach, address, underline always.
struct LinkWindow {
    QWidget window;
    CHyperLink* link = new CHyperLink(&window);

    explicit LinkWindow(const QString& text, const QString& address = kAddress, std::uint32_t style = 0) {
        window.resize(400, 100);
        link->setGeometry(200, 10, 180, 30);
        link->setText(text);
        QFont font(QStringLiteral("DejaVu Sans"));
        font.setPointSize(10);
        link->setFont(font);
        link->SetStaticStyle(style);
        link->Attach();
        link->SetLinkAddress(address);
        link->SetUnderlineMode(CHyperLink::kUnderlineAlways);
        quarnix::test::ShowAndExpose(window);
    }
    QWindow* handle() { return window.windowHandle(); }
    QPoint Inside() const { return link->geometry().center(); }
    void ClickLink() { QTest::mouseClick(handle(), Qt::LeftButton, {}, Inside()); }
    int Ink(const QColor& color) { return CountColor(Grab(*link), color); }
};

} // namespace

TEST(HyperLink, ColoursFollowHoverAndASuccessfulClick) {
    FakeShell shell;
    LinkWindow ui(QStringLiteral("Online help"));
    EXPECT_EQ(ui.link->TextColor(), CHyperLink::kLinkColor);
    EXPECT_GT(ui.Ink(CHyperLink::kLinkColor), 0);
    EXPECT_TRUE(ui.link->font().underline());

    QTest::mouseMove(ui.handle(), ui.Inside());
    EXPECT_EQ(ui.link->TextColor(), CHyperLink::kHoverColor);
    EXPECT_GT(ui.Ink(CHyperLink::kHoverColor), 0);
    EXPECT_EQ(ui.Ink(CHyperLink::kLinkColor), 0);

    QTest::mouseMove(ui.handle(), QPoint(20, 80));
    EXPECT_EQ(ui.link->TextColor(), CHyperLink::kLinkColor);

    ui.ClickLink();
    EXPECT_EQ(shell.opened, QStringList{kAddress});
    EXPECT_TRUE(ui.link->IsVisited());
    QTest::mouseMove(ui.handle(), QPoint(20, 80));
    EXPECT_EQ(ui.link->TextColor(), CHyperLink::kVisitedColor);
    EXPECT_GT(ui.Ink(CHyperLink::kVisitedColor), 0);

    QTest::mouseMove(ui.handle(), ui.Inside());
    EXPECT_EQ(ui.link->TextColor(), CHyperLink::kHoverColor);
    EXPECT_TRUE(ui.link->font().underline());
}

TEST(HyperLink, UnderlineOnlyWhileHoveredInTheDefaultMode) {
    FakeShell shell;
    LinkWindow ui(QStringLiteral("Online help"));
    ui.link->SetUnderlineMode(CHyperLink::kUnderlineHover);
    EXPECT_FALSE(ui.link->font().underline());
    QTest::mouseMove(ui.handle(), QPoint(20, 80));
    QTest::mouseMove(ui.handle(), ui.Inside());
    EXPECT_TRUE(ui.link->font().underline());
    QTest::mouseMove(ui.handle(), QPoint(20, 80));
    EXPECT_FALSE(ui.link->font().underline());
}

TEST(HyperLink, FailedOpenBeepsShowsTheCodeTextAndClearsVisited) {
    struct Case {
        int code;
        const char* text;
    };
    const Case cases[] = {
        {0, "The operating system is out\nof memory or resources."},
        {2, "The specified file was not found."},
        {26, "A sharing violation occurred. "},
        {31, "There is no application associated\nwith the given filename extension."},
        {32, "The specified dynamic-link library was not found."},
        {4, "Unknown Error (4) occurred."},
        {-1, "Unknown Error (-1) occurred."},
    };
    FakeShell shell;
    LinkWindow ui(QStringLiteral("Online help"));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        shell.result = kShellOpenSucceeded;
        ui.ClickLink();
        ASSERT_TRUE(ui.link->IsVisited());

        ScopedMessageCapture messages;
        shell.result = c.code;
        const int before = shell.opened.size();
        ui.ClickLink();
        EXPECT_EQ(shell.opened.size(), before + 1);
        ASSERT_EQ(messages.Texts().size(), 1);
        EXPECT_EQ(messages.Texts().front(),
                  QStringLiteral("Unable to open hyperlink:\n\n") + QString::fromUtf8(c.text));
        EXPECT_EQ(messages.Captions().front(), ApplicationName());
        EXPECT_FALSE(ui.link->IsVisited());
        EXPECT_EQ(ui.link->TextColor(), CHyperLink::kLinkColor);
    }
}

TEST(HyperLink, ResultCodesWithoutATextOfTheirOwnAreReportedAsUnknown) {
    // Codes above 32 mean success, so a click never reports them; the text exists for any code all the same.
    EXPECT_EQ(ShellResultText(40), QStringLiteral("Unknown Error (40) occurred."));
    EXPECT_EQ(ShellResultText(28),
              QStringLiteral("The DDE transaction could not\nbe completed because the request timed out."));
}

TEST(HyperLink, WindowIsAsWideAsItsUnderlinedTextSoClicksBesideItMiss) {
    FakeShell shell;
    LinkWindow ui(QStringLiteral("Online help"));
    QFont underlined = ui.link->font();
    underlined.setUnderline(true);
    const int textWidth = QFontMetrics(underlined).horizontalAdvance(QStringLiteral("Online help"));
    EXPECT_EQ(ui.link->geometry(), QRect(200, 10, textWidth, QFontMetrics(underlined).height()));

    QTest::mouseClick(ui.handle(), Qt::LeftButton, {}, QPoint(200 + textWidth + 5, 15));
    EXPECT_TRUE(shell.opened.isEmpty());
    QTest::mouseClick(ui.handle(), Qt::LeftButton, {}, QPoint(200 + textWidth - 2, 15));
    EXPECT_EQ(shell.opened.size(), 1);
}

TEST(HyperLink, StaticStyleDecidesWhichEdgeStaysWhenFitted) {
    const int width = LinkWindow(QStringLiteral("Help")).link->width();
    EXPECT_EQ(LinkWindow(QStringLiteral("Help"), kAddress, static_style::kRight).link->geometry().right(),
              379);
    const QRect centred =
        LinkWindow(QStringLiteral("Help"), kAddress, static_style::kCenter).link->geometry();
    EXPECT_EQ(centred.left(), 200 + (180 - width) / 2);
    EXPECT_EQ(centred.width(), width);
}

TEST(HyperLink, AttachFillsAnEmptyAddressOrTextFromTheOther) {
    FakeShell shell;
    {
        LinkWindow ui(QStringLiteral("https://quarnix.example"), QString());
        EXPECT_EQ(ui.link->LinkAddress(), QString());
        EXPECT_EQ(ui.link->toolTip(), QString());
        ui.ClickLink(); // an empty address still goes to the shell
        EXPECT_EQ(shell.opened, QStringList{QString()});
    }
    {
        // The text is empty when attached: it stays empty and the link is fitted to nothing.
        LinkWindow ui(QString(), kAddress);
        EXPECT_EQ(ui.link->text(), QString());
        EXPECT_EQ(ui.link->width(), 0);
        EXPECT_EQ(ui.link->toolTip(), kAddress);
    }
    {
        CHyperLink link;
        link.setText(QStringLiteral("www.quarnix.example"));
        link.Attach();
        EXPECT_EQ(link.LinkAddress(), QStringLiteral("www.quarnix.example"));
        EXPECT_EQ(link.toolTip(), QStringLiteral("www.quarnix.example"));
        EXPECT_EQ(link.cursor().shape(), Qt::PointingHandCursor);
    }
}
