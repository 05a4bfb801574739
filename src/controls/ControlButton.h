// CControlButton: a push button that shows one of three pictures (normal, hover, pressed) instead of a
// drawn face, optionally cut to the shape of a picture. It clicks like any QPushButton.
#pragma once

#include <QImage>
#include <QPixmap>
#include <QPushButton>
#include <QRegion>
#include <optional>

namespace quarnix {

class CControlButton : public QPushButton {
    Q_OBJECT
public:
    // The button's text is never drawn (the caption is part of the pictures); keep the template text as
    // the text anyway, since it names the button for screen readers.
    explicit CControlButton(QWidget* parent = nullptr);

    // Loads the three pictures by bitmap id (":/bitmaps/<id>.bmp"). An id that cannot be loaded leaves
    // that picture empty. Does not repaint.
    void SetBitmaps(int hoverId, int normalId, int pressedId);

    // Cuts the button to the non-white pixels of the bitmap (see RegionFromBitmap); a bitmap that cannot
    // be loaded leaves the button rectangular. Repaints.
    void SetShapeBitmap(int bitmapId);

    // The pixels of the bitmap that are not pure white, in its own coordinates; nothing for a null image.
    static std::optional<QRegion> RegionFromBitmap(const QImage& bitmap);

    // True while the pointer rests on the button (the hover picture is shown).
    bool IsHovered() const { return m_hovered; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    bool hitButton(const QPoint& pos) const override;

private:
    void SetHovered(bool hovered);

    bool m_hovered = false;
    QPixmap m_normalPicture;
    QPixmap m_hoverPicture;
    QPixmap m_pressedPicture;
};

} // namespace quarnix
