#include "controls/ControlButton.h"

#include "Resources.h"

#include <QBitmap>
#include <QFocusEvent>
#include <QFontInfo>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>

namespace quarnix {

namespace {

constexpr int kSmallestCaptionPixels = 7;
const QColor kCaptionColour(250, 252, 255);
const QColor kCaptionShadow(10, 40, 100, 110);

QPixmap LoadPicture(int bitmapId) {
    return QPixmap::fromImage(LoadBitmapResource(bitmapId));
}

QPixmap LoadPicture2x(int bitmapId) {
    QPixmap picture = QPixmap::fromImage(LoadBitmapResource(bitmapId, 2));
    picture.setDevicePixelRatio(2);
    return picture;
}

} // namespace

CControlButton::CControlButton(QWidget* parent) : QPushButton(parent) {
    // Mouse moves without a pressed button are needed to notice a pointer that rests on the button
    // without having crossed its edge (for example when the button appears beneath it).
    setMouseTracking(true);
}

void CControlButton::SetBitmaps(int hoverId, int normalId, int pressedId) {
    m_hoverPicture = LoadPicture(hoverId);
    m_normalPicture = LoadPicture(normalId);
    m_pressedPicture = LoadPicture(pressedId);
    m_hoverPicture2x = LoadPicture2x(hoverId);
    m_normalPicture2x = LoadPicture2x(normalId);
    m_pressedPicture2x = LoadPicture2x(pressedId);
}

void CControlButton::SetCaptionBox(const QRect& box) {
    m_captionBox = box;
    update();
}

QFont CControlButton::CaptionFont() const {
    QFont captionFont = font();
    if (m_captionBox.isEmpty()) {
        return captionFont;
    }
    // Pixel sizes, so that the caption keeps its size relative to the picture on every screen.
    int pixels = captionFont.pixelSize() > 0 ? captionFont.pixelSize() : QFontInfo(captionFont).pixelSize();
    captionFont.setPixelSize(pixels);
    while (pixels > kSmallestCaptionPixels &&
           QFontMetrics(captionFont).horizontalAdvance(text()) > m_captionBox.width()) {
        captionFont.setPixelSize(--pixels);
    }
    return captionFont;
}

void CControlButton::SetFocusOutline(const QPainterPath& outline) {
    m_focusOutline = outline;
    update();
}

void CControlButton::SetShapeBitmap(int bitmapId) {
    const std::optional<QRegion> shape = RegionFromBitmap(LoadBitmapResource(bitmapId));
    if (shape) {
        setMask(*shape);
    } else {
        clearMask();
    }
    update();
}

std::optional<QRegion> CControlButton::RegionFromBitmap(const QImage& bitmap) {
    if (bitmap.isNull()) {
        return std::nullopt;
    }
    const QImage rgb = bitmap.convertToFormat(QImage::Format_RGB32);
    // Converted to a QBitmap, the pixels this mask image marks as matching end up clear, so the white
    // pixels drop out of the region (the tests pin this down).
    const QImage mask = rgb.createMaskFromColor(qRgb(255, 255, 255), Qt::MaskInColor);
    return QRegion(QBitmap::fromImage(mask));
}

QSize CControlButton::sizeHint() const {
    return m_normalPicture.isNull() ? QPushButton::sizeHint() : m_normalPicture.size();
}

void CControlButton::paintEvent(QPaintEvent*) {
    // The pictures, the caption and the focus mark: no border and no disabled look. The parts of the
    // button beyond the picture stay transparent, so the window's background shows there.
    QPainter painter(this);
    const bool dense = devicePixelRatioF() > 1.0;
    const auto pick = [dense](const QPixmap& picture, const QPixmap& twin) -> const QPixmap& {
        return dense && !twin.isNull() ? twin : picture;
    };
    const QPixmap& face =
        m_hovered ? pick(m_hoverPicture, m_hoverPicture2x) : pick(m_normalPicture, m_normalPicture2x);
    if (!face.isNull()) {
        painter.drawPixmap(0, 0, face);
    }
    if (isDown() && !m_pressedPicture.isNull()) {
        painter.drawPixmap(0, 0, pick(m_pressedPicture, m_pressedPicture2x));
    }
    if (!m_captionBox.isEmpty() && !text().isEmpty()) {
        painter.setRenderHint(QPainter::TextAntialiasing);
        painter.setFont(CaptionFont());
        painter.setPen(kCaptionShadow);
        painter.drawText(m_captionBox.translated(0, 1), Qt::AlignCenter, text());
        painter.setPen(kCaptionColour);
        painter.drawText(m_captionBox, Qt::AlignCenter, text());
    }
    if (m_focusMarked && hasFocus()) {
        QPainterPath outline;
        if (m_focusOutline) {
            outline = *m_focusOutline;
        } else {
            outline.addRoundedRect(QRectF(rect()).adjusted(4.5, 4.5, -4.5, -5.5), 5, 5);
        }
        painter.setRenderHint(QPainter::Antialiasing);
        // Light and dark dashes, so that the mark shows on the face and on the window around it.
        painter.setBrush(Qt::NoBrush);
        painter.setPen(QPen(QColor(10, 40, 100), 1.5));
        painter.drawPath(outline);
        painter.setPen(QPen(kCaptionColour, 1.5, Qt::DashLine));
        painter.drawPath(outline);
    }
}

void CControlButton::enterEvent(QEnterEvent* event) {
    SetHovered(true);
    QPushButton::enterEvent(event);
}

void CControlButton::leaveEvent(QEvent* event) {
    SetHovered(false);
    QPushButton::leaveEvent(event);
}

void CControlButton::mouseMoveEvent(QMouseEvent* event) {
    if (!m_hovered && hitButton(event->position().toPoint())) {
        SetHovered(true);
    }
    QPushButton::mouseMoveEvent(event);
}

void CControlButton::focusInEvent(QFocusEvent* event) {
    m_focusMarked = event->reason() != Qt::MouseFocusReason && event->reason() != Qt::PopupFocusReason;
    QPushButton::focusInEvent(event);
}

void CControlButton::focusOutEvent(QFocusEvent* event) {
    // A popup (a menu) takes the focus only for a while: the mark comes back with it.
    if (event->reason() != Qt::PopupFocusReason) {
        m_focusMarked = false;
    }
    QPushButton::focusOutEvent(event);
}

bool CControlButton::hitButton(const QPoint& pos) const {
    // With a shape, only its pixels belong to the button, also while the mouse button is held down.
    return mask().isEmpty() ? rect().contains(pos) : mask().contains(pos);
}

void CControlButton::SetHovered(bool hovered) {
    if (m_hovered != hovered) {
        m_hovered = hovered;
        update();
    }
}

} // namespace quarnix
