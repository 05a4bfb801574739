// CLabel: a static text that paints itself in the button-face and window-text colours, laid out by the
// static style bits of its template (centred, right-aligned, left without wrap, centred image).
#pragma once

#include <QColor>
#include <QLabel>
#include <cstdint>

namespace quarnix {

class CLabel : public QLabel {
    Q_OBJECT
public:
    explicit CLabel(QWidget* parent = nullptr);

    // The static style bits (static_style::...); the default is left-aligned text with word wrap.
    void SetStaticStyle(std::uint32_t style);
    std::uint32_t StaticStyle() const { return m_style; }

    // The Qt text flags the label draws its current text with.
    int TextFlags() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::uint32_t m_style = 0;
    // Read once: a later change of the system colours changes the background, not the text.
    QColor m_textColor;
};

} // namespace quarnix
