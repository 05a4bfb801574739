#include "controls/Label.h"

#include "controls/StaticStyle.h"

#include <QPainter>

namespace quarnix {

CLabel::CLabel(QWidget* parent) : QLabel(parent), m_textColor(palette().color(QPalette::WindowText)) {
    // Every pixel is painted here, so Qt need not clear the background first.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void CLabel::SetStaticStyle(std::uint32_t style) {
    m_style = style;
    update();
}

int CLabel::TextFlags() const {
    using namespace static_style;
    const QString content = text();
    if (m_style & kCenterImage) {
        int flags = Qt::AlignHCenter | Qt::TextShowMnemonic;
        if (!content.contains(QStringLiteral("\r\n"))) {
            flags |= Qt::AlignVCenter | Qt::TextSingleLine;
        }
        return flags;
    }
    int flags = Qt::AlignTop | Qt::TextShowMnemonic;
    switch (Type(m_style)) {
    case kCenter:
        flags |= Qt::AlignHCenter | Qt::TextWordWrap;
        break;
    case kRight:
        flags |= Qt::AlignRight | Qt::TextWordWrap;
        break;
    case kLeftNoWordWrap:
        flags |= Qt::AlignLeft;
        break;
    default:
        flags |= Qt::AlignLeft | Qt::TextWordWrap;
        break;
    }
    if (content.contains(QLatin1Char('\t'))) {
        flags |= Qt::TextExpandTabs;
    }
    return flags;
}

void CLabel::paintEvent(QPaintEvent*) {
    // The button-face colour is read at every paint, so a change of the system colours shows at once.
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(QPalette::Button));
    painter.setFont(font());
    painter.setPen(m_textColor);
    // Text beyond the label's height is clipped by drawText.
    painter.drawText(rect(), TextFlags(), text());
}

} // namespace quarnix
