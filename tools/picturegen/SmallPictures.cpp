#include "SmallPictures.h"

#include "Palette.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace picturegen {

namespace {

const QColor kMagenta(255, 0, 255);

// A 13 x 13 box inside a 16 x 16 cell. Its edges are axis-aligned and drawn without anti-aliasing, so
// no pixel blends with the magenta around it (a blend would show as a pink fringe once magenta is keyed out).
void DrawBox(QPainter& painter, int left) {
    const QRect box(left + 1, 1, 13, 13);
    QLinearGradient fill(box.topLeft(), box.bottomLeft());
    fill.setColorAt(0, QColor(236, 242, 250));
    fill.setColorAt(1, QColor(252, 253, 255));
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(Qt::NoPen);
    painter.setBrush(fill);
    painter.drawRect(box);
    painter.setPen(QColor(70, 100, 140));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(box.adjusted(0, 0, -1, -1));
}

void DrawTick(QPainter& painter, int left) {
    QPainterPath tick;
    tick.moveTo(left + 4.0, 7.8);
    tick.lineTo(left + 6.6, 10.4);
    tick.lineTo(left + 11.4, 4.6);
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setPen(QPen(QColor(24, 96, 200), 2.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.drawPath(tick);
}

} // namespace

QImage HeaderCheckStrip() {
    QImage strip(48, 16, QImage::Format_RGB32);
    strip.fill(kMagenta);
    {
        QPainter painter(&strip);
        DrawBox(painter, 16);
        DrawBox(painter, 32);
        DrawTick(painter, 32);
    }
    // The strip has far fewer than 256 colours, so the conversion keeps every colour exactly.
    return strip.convertToFormat(QImage::Format_Indexed8, Qt::ThresholdDither | Qt::AvoidDither);
}

QImage ProgramIcon(int side) {
    QImage icon(side, side, QImage::Format_ARGB32_Premultiplied);
    icon.fill(Qt::transparent);
    QPainter painter(&icon);
    painter.setRenderHints(QPainter::Antialiasing);
    painter.scale(side / 64.0, side / 64.0);

    // Rounded tile in the buttons' blue.
    const FacePalette face = NormalFace();
    QLinearGradient tile(0, 2, 0, 62);
    tile.setColorAt(0, face.top);
    tile.setColorAt(1, face.bottom);
    painter.setPen(QPen(face.border, 1));
    painter.setBrush(tile);
    painter.drawRoundedRect(QRectF(2.5, 2.5, 59, 59), 12, 12);

    // A film frame standing upright: the video after a quarter turn.
    const QRectF film(19, 14, 26, 36);
    painter.setPen(QPen(QColor(24, 30, 40), 1));
    painter.setBrush(QColor(48, 54, 66));
    painter.drawRoundedRect(film, 3, 3);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(214, 226, 240));
    for (int i = 0; i < 6; ++i) {
        const qreal y = film.top() + 3 + i * 5.3;
        painter.drawRoundedRect(QRectF(film.left() + 2, y, 3, 3), 0.8, 0.8);
        painter.drawRoundedRect(QRectF(film.right() - 5, y, 3, 3), 0.8, 0.8);
    }
    QLinearGradient sky(0, film.top() + 4, 0, film.bottom() - 4);
    sky.setColorAt(0, QColor(150, 210, 252));
    sky.setColorAt(1, QColor(92, 170, 236));
    painter.setBrush(sky);
    painter.drawRect(film.adjusted(7, 4, -7, -4));

    // A clockwise arrow sweeping round the frame.
    QPainterPath arc;
    const QRectF circle(8, 8, 48, 48);
    arc.arcMoveTo(circle, 160);
    arc.arcTo(circle, 160, -120);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(QColor(255, 176, 40), 5, Qt::SolidLine, Qt::RoundCap));
    painter.drawPath(arc);
    const QPointF tip = arc.currentPosition();
    QPainterPath head;
    head.moveTo(tip + QPointF(-6, -5));
    head.lineTo(tip + QPointF(5, -2));
    head.lineTo(tip + QPointF(-2, 8));
    head.closeSubpath();
    painter.setPen(QPen(QColor(255, 176, 40), 1.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(QColor(255, 176, 40));
    painter.drawPath(head);
    return icon;
}

} // namespace picturegen
