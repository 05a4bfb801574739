#include "Glyphs.h"

#include "Palette.h"

#include <QLinearGradient>
#include <QPainterPath>

namespace picturegen {

namespace {

// A round badge with a soft drop shadow, filled with a top-to-bottom gradient.
void DrawBadge(QPainter& painter, const QPointF& centre, qreal radius, const QColor& top,
               const QColor& bottom, const QColor& rim) {
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0, 0, 0, 60));
    painter.drawEllipse(centre + QPointF(0, 1), radius, radius);
    QLinearGradient fill(centre.x(), centre.y() - radius, centre.x(), centre.y() + radius);
    fill.setColorAt(0, top);
    fill.setColorAt(1, bottom);
    painter.setBrush(fill);
    painter.setPen(QPen(rim, 1));
    painter.drawEllipse(centre, radius - 0.5, radius - 0.5);
}

} // namespace

void DrawAddFilm(QPainter& painter, const QRectF& box) {
    painter.save();
    const qreal unit = box.width() / 32.0;
    // Film body, slightly tilted back so the badge can overlap its corner.
    const QRectF film(box.left() + 2 * unit, box.top() + 3 * unit, 22 * unit, 24 * unit);
    painter.setPen(QPen(QColor(24, 30, 40), 1));
    QLinearGradient body(film.topLeft(), film.bottomLeft());
    body.setColorAt(0, QColor(72, 80, 94));
    body.setColorAt(1, QColor(40, 46, 58));
    painter.setBrush(body);
    painter.drawRoundedRect(film, 2.5 * unit, 2.5 * unit);

    // Sprocket holes down both edges.
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(214, 226, 240));
    const qreal hole = 2.6 * unit;
    for (int i = 0; i < 5; ++i) {
        const qreal y = film.top() + 2.2 * unit + i * 4.3 * unit;
        painter.drawRoundedRect(QRectF(film.left() + 1.4 * unit, y, hole, hole), 0.6 * unit, 0.6 * unit);
        painter.drawRoundedRect(QRectF(film.right() - 1.4 * unit - hole, y, hole, hole), 0.6 * unit,
                                0.6 * unit);
    }
    // The picture frame: a small sky-and-hill scene.
    const QRectF frame(film.left() + 5.4 * unit, film.top() + 3 * unit, film.width() - 10.8 * unit,
                       film.height() - 6 * unit);
    QLinearGradient sky(frame.topLeft(), frame.bottomLeft());
    sky.setColorAt(0, QColor(150, 210, 252));
    sky.setColorAt(1, QColor(92, 170, 236));
    painter.setBrush(sky);
    painter.drawRect(frame);
    QPainterPath hill;
    hill.moveTo(frame.left(), frame.bottom());
    hill.lineTo(frame.left(), frame.bottom() - 5 * unit);
    hill.quadTo(frame.center().x(), frame.bottom() - 11 * unit, frame.right(), frame.bottom() - 4 * unit);
    hill.lineTo(frame.right(), frame.bottom());
    hill.closeSubpath();
    painter.setBrush(QColor(70, 160, 90));
    painter.drawPath(hill);

    // Green plus badge.
    const QPointF centre(box.left() + 24 * unit, box.top() + 24 * unit);
    const qreal radius = 7.5 * unit;
    DrawBadge(painter, centre, radius, QColor(98, 206, 110), QColor(34, 150, 60), QColor(22, 110, 44));
    painter.setPen(QPen(kCaption, 2.4 * unit, Qt::SolidLine, Qt::RoundCap));
    const qreal arm = 3.8 * unit;
    painter.drawLine(centre + QPointF(-arm, 0), centre + QPointF(arm, 0));
    painter.drawLine(centre + QPointF(0, -arm), centre + QPointF(0, arm));
    painter.restore();
}

void DrawRedCross(QPainter& painter, const QRectF& box) {
    painter.save();
    const QPointF centre = box.center();
    const qreal radius = box.width() * 0.42;
    DrawBadge(painter, centre, radius, QColor(244, 104, 92), QColor(196, 36, 30), QColor(142, 22, 18));
    painter.setPen(QPen(kCaption, radius * 0.3, Qt::SolidLine, Qt::RoundCap));
    const qreal arm = radius * 0.42;
    painter.drawLine(centre + QPointF(-arm, -arm), centre + QPointF(arm, arm));
    painter.drawLine(centre + QPointF(-arm, arm), centre + QPointF(arm, -arm));
    painter.restore();
}

void DrawPlayTriangle(QPainter& painter, const QRectF& box) {
    painter.save();
    QPainterPath triangle;
    triangle.moveTo(box.left() + box.width() * 0.2, box.top());
    triangle.lineTo(box.right(), box.center().y());
    triangle.lineTo(box.left() + box.width() * 0.2, box.bottom());
    triangle.closeSubpath();
    painter.setPen(QPen(kCaption, 1.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(kCaption);
    painter.drawPath(triangle);
    painter.restore();
}

} // namespace picturegen
