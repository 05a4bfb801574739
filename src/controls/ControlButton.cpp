#include "ControlButton.h"

#include "Resources.h"

#include <QBitmap>
#include <QMouseEvent>
#include <QPainter>

namespace quarnix {

namespace {
QPixmap LoadPicture(int bitmapId) {
    return QPixmap::fromImage(LoadBitmapResource(bitmapId));
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
    // Only the pictures: no caption, focus frame, border or disabled look. The parts of the button beyond
    // the picture stay transparent, so the window's background shows there.
    QPainter painter(this);
    const QPixmap& face = m_hovered ? m_hoverPicture : m_normalPicture;
    if (!face.isNull()) {
        painter.drawPixmap(0, 0, face);
    }
    if (isDown() && !m_pressedPicture.isNull()) {
        painter.drawPixmap(0, 0, m_pressedPicture);
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
