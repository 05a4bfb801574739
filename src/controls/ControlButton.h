// CControlButton: a push button that shows one of three pictures (normal, hover, pressed) instead of a
// drawn face, optionally cut to the shape of a picture. It clicks like any QPushButton. Its caption, when
// a caption box is set, is drawn as text over the picture, so that it follows the language; a picture with
// a "@2x" twin is drawn from the twin on high-density screens. Focus reached by the keyboard shows as a
// dashed outline.
#pragma once

#include <QImage>
#include <QPainterPath>
#include <QPixmap>
#include <QPushButton>
#include <QRegion>
#include <optional>

namespace quarnix {

class CControlButton : public QPushButton {
    Q_OBJECT
public:
    // The button's text names it for screen readers; it is drawn only inside a caption box.
    explicit CControlButton(QWidget* parent = nullptr);

    // Loads the three pictures by bitmap id (":/bitmaps/<id>.bmp", and ":/bitmaps/<id>@2x.bmp" for screens
    // of a higher density when there is one). An id that cannot be loaded leaves that picture empty. Does
    // not repaint.
    void SetBitmaps(int hoverId, int normalId, int pressedId);

    // Draws the text centred in the box (button coordinates) in the button's font, off-white with a soft
    // dark shadow one pixel below, as the pictures' captions look. A text too wide for the box is drawn in
    // a smaller size of the font (down to 7 pixels). An empty box draws no caption.
    void SetCaptionBox(const QRect& box);
    QRect CaptionBox() const { return m_captionBox; }
    // The font the caption is drawn in now (the button's font, made smaller when the text needs it).
    QFont CaptionFont() const;

    // The outline of the keyboard focus mark, in button coordinates; by default a rounded rectangle four
    // pixels inside the button.
    void SetFocusOutline(const QPainterPath& outline);

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
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    bool hitButton(const QPoint& pos) const override;

private:
    void SetHovered(bool hovered);

    bool m_hovered = false;
    bool m_focusMarked = false; // the focus came by the keyboard (a mouse click shows no mark)
    QPixmap m_normalPicture;
    QPixmap m_hoverPicture;
    QPixmap m_pressedPicture;
    // The @2x twins (device pixel ratio 2), null without one.
    QPixmap m_normalPicture2x;
    QPixmap m_hoverPicture2x;
    QPixmap m_pressedPicture2x;
    QRect m_captionBox;
    std::optional<QPainterPath> m_focusOutline;
};

} // namespace quarnix
