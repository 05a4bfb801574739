#include "controls/HyperLink.h"

#include "controls/ShellResultText.h"
#include "controls/StaticStyle.h"
#include "platform/widgets/MessageBox.h"
#include "platform/widgets/ShellOpen.h"

#include <QAccessibleWidget>
#include <QApplication>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>

namespace quarnix {

namespace {

constexpr int kHoverCheckMilliseconds = 100;

// What screen readers see of the link: a link (not a static text) named by its text, described by its
// tool tip, with a press action that opens it.
class LinkAccessible : public QAccessibleWidget {
public:
    explicit LinkAccessible(CHyperLink* link) : QAccessibleWidget(link, QAccessible::Link) {}

    QString text(QAccessible::Text kind) const override {
        auto* link = static_cast<CHyperLink*>(widget());
        switch (kind) {
        case QAccessible::Name:
            return link->accessibleName().isEmpty() ? link->text() : link->accessibleName();
        case QAccessible::Description:
            return link->accessibleDescription().isEmpty() ? link->toolTip() : link->accessibleDescription();
        case QAccessible::Value:
            return link->LinkAddress();
        default:
            return QAccessibleWidget::text(kind);
        }
    }

    QStringList actionNames() const override { return QAccessibleWidget::actionNames() << pressAction(); }

    void doAction(const QString& action) override {
        if (action == pressAction()) {
            static_cast<CHyperLink*>(widget())->Open();
            return;
        }
        QAccessibleWidget::doAction(action);
    }
};

QAccessibleInterface* MakeLinkAccessible(const QString& className, QObject* object) {
    if (className == QLatin1String("quarnix::CHyperLink")) {
        if (auto* link = qobject_cast<CHyperLink*>(object)) {
            return new LinkAccessible(link);
        }
    }
    return nullptr;
}

} // namespace

CHyperLink::CHyperLink(QWidget* parent) : QLabel(parent) {
    static const bool accessibleRegistered = (QAccessible::installFactory(&MakeLinkAccessible), true);
    (void)accessibleRegistered;
    setTextFormat(Qt::PlainText);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    m_hoverTimer.setInterval(kHoverCheckMilliseconds);
    connect(&m_hoverTimer, &QTimer::timeout, this, &CHyperLink::CheckPointer);
    ApplyColor();
}

void CHyperLink::Attach() {
    if (m_address.isEmpty()) {
        m_address = text();
    }
    if (text().isEmpty()) {
        setText(m_address);
    }
    m_plainFont = font();
    m_underlinedFont = font();
    m_underlinedFont.setUnderline(true);
    m_attached = true;
    FitToText();
    setCursor(Qt::PointingHandCursor);
    m_underlineMode = kUnderlineHover;
    setToolTip(m_address);
    ApplyColor();
}

void CHyperLink::SetLinkAddress(const QString& address) {
    m_address = address;
    if (m_attached) {
        FitToText();
        setToolTip(m_address);
    }
}

void CHyperLink::SetLinkText(const QString& text) {
    setText(text);
    setAccessibleName(text);
    FitToText();
}

void CHyperLink::SetUnderlineMode(int mode) {
    if (mode == m_underlineMode) {
        return;
    }
    if (m_attached) {
        setFont(mode == kUnderlineAlways ? m_underlinedFont : m_plainFont);
        update();
    }
    m_underlineMode = mode;
}

int CHyperLink::OpenLinkAddress(const QString& address, const std::function<void()>& failedLater) {
    return ShellOpen(address, failedLater);
}

QColor CHyperLink::TextColor() const {
    if (m_over) {
        return kHoverColor;
    }
    return m_visited ? kVisitedColor : kLinkColor;
}

void CHyperLink::mouseMoveEvent(QMouseEvent* event) {
    if (!m_over) {
        EnterHover();
    }
    QLabel::mouseMoveEvent(event);
}

void CHyperLink::mousePressEvent(QMouseEvent* event) {
    // Like a static text with notification: the press itself is the click.
    if (event->button() == Qt::LeftButton) {
        OnClicked();
        event->accept();
        return;
    }
    QLabel::mousePressEvent(event);
}

void CHyperLink::leaveEvent(QEvent* event) {
    // Where the pointer position cannot be read outside our windows (Wayland), the timer alone would
    // keep the link red; the leave event ends the hover at once.
    if (m_over) {
        LeaveHover();
    }
    QLabel::leaveEvent(event);
}

void CHyperLink::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Space:
        OnClicked();
        event->accept();
        return;
    default:
        QLabel::keyPressEvent(event);
    }
}

void CHyperLink::paintEvent(QPaintEvent* event) {
    QLabel::paintEvent(event);
    if (hasFocus()) {
        // A dotted frame in the text's colour, round the whole text.
        QPainter painter(this);
        painter.setPen(QPen(TextColor(), 1, Qt::DotLine));
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
    }
}

void CHyperLink::EnterHover() {
    m_over = true;
    if (m_underlineMode == kUnderlineHover) {
        setFont(m_underlinedFont);
    }
    ApplyColor();
    m_hoverTimer.start();
}

void CHyperLink::LeaveHover() {
    m_over = false;
    m_hoverTimer.stop();
    if (m_underlineMode != kUnderlineAlways) {
        setFont(m_plainFont);
    }
    ApplyColor();
}

void CHyperLink::CheckPointer() {
    if (!rect().contains(mapFromGlobal(QCursor::pos()))) {
        LeaveHover();
    }
}

void CHyperLink::OnClicked() {
    m_over = false;
    const QPointer<CHyperLink> self(this);
    const QString address = m_address;
    const int result = OpenLinkAddress(address, [self, address] {
        if (self) {
            self->SayOpenFailed(address);
        }
    });
    if (result > 32) {
        m_visited = true;
        ApplyColor();
        return;
    }
    m_visited = false;
    ApplyColor();
    QApplication::beep();
    const QString detail = result == kShellNoAssociation && !m_noOpenerText.isEmpty()
                               ? m_noOpenerText.arg(m_address)
                               : ShellResultText(result);
    ShowMessage(m_failureCaption + QStringLiteral("\n\n") + detail, window());
}

void CHyperLink::SayOpenFailed(const QString& address) {
    m_visited = false;
    ApplyColor();
    QApplication::beep();
    const QString detail = !m_openFailedText.isEmpty() ? m_openFailedText.arg(address) : address;
    ShowMessage(m_failureCaption + QStringLiteral("\n\n") + detail, window());
}

void CHyperLink::ApplyColor() {
    QPalette colours = palette();
    colours.setColor(QPalette::WindowText, TextColor());
    setPalette(colours);
    update();
}

void CHyperLink::FitToText() {
    if (!m_fitToText || !m_attached) {
        return;
    }
    using namespace static_style;
    const QFontMetrics metrics(m_underlinedFont);
    const QMargins frame = contentsMargins();
    const int width = metrics.horizontalAdvance(text()) + frame.left() + frame.right();
    const int height = metrics.height() + frame.top() + frame.bottom();

    QRect area = geometry();
    if (m_style & kCenterImage) {
        area.setTop(area.top() + (area.height() - height) / 2);
    }
    area.setHeight(height);
    if (Type(m_style) == kCenter) {
        area.setLeft(area.left() + (area.width() - width) / 2);
        area.setWidth(width);
    } else if (Type(m_style) == kRight) {
        area.setLeft(area.right() + 1 - width);
    } else {
        area.setWidth(width);
    }
    setGeometry(area);
}

} // namespace quarnix
