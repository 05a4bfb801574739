#include "ButtonFaces.h"

#include "ButtonLayout.h"
#include "Glyphs.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

namespace picturegen {

namespace {

namespace layout = quarnix::button_layout;
constexpr qreal kGlyphSide = layout::kIconGlyphSide;
constexpr qreal kGlyphLeft = layout::kIconGlyphLeft;

// A canvas of size * scale pixels whose painter draws in 1x coordinates.
QImage Canvas(QSize size, int scale) {
    QImage image(size * scale, QImage::Format_RGB32);
    image.fill(kSurround);
    return image;
}

void Prepare(QPainter& painter, int scale) {
    painter.scale(scale, scale);
    painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing |
                           QPainter::SmoothPixmapTransform);
}

// Shadow, gradient body, outline and a soft gloss on the upper half, all following one outline.
void DrawFace(QPainter& painter, const QPainterPath& outline, const FacePalette& face) {
    const QRectF bounds = outline.boundingRect();
    painter.save();
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(40, 90, 150, 70));
    painter.drawPath(outline.translated(0, 1.2));

    QLinearGradient body(bounds.topLeft(), bounds.bottomLeft());
    body.setColorAt(0, face.top);
    body.setColorAt(1, face.bottom);
    painter.setBrush(body);
    painter.setPen(QPen(face.border, 1));
    painter.drawPath(outline);

    QLinearGradient gloss(bounds.topLeft(), QPointF(bounds.left(), bounds.center().y()));
    gloss.setColorAt(0, QColor(255, 255, 255, 90));
    gloss.setColorAt(1, QColor(255, 255, 255, 10));
    painter.setPen(Qt::NoPen);
    painter.setBrush(gloss);
    painter.setClipRect(QRectF(bounds.left(), bounds.top(), bounds.width(), bounds.height() / 2));
    painter.drawPath(outline.translated(0, 0.0));
    painter.restore();
}

QPainterPath RoundedOutline(QSize size, qreal radius) {
    QPainterPath outline;
    outline.addRoundedRect(QRectF(1.5, 1.5, size.width() - 3.0, size.height() - 4.0), radius, radius);
    return outline;
}

} // namespace

QImage IconButton(QSize size, const FacePalette& face, Glyph glyph, int scale) {
    QImage image = Canvas(size, scale);
    QPainter painter(&image);
    Prepare(painter, scale);
    DrawFace(painter, RoundedOutline(size, 9), face);

    const QRectF glyphBox(kGlyphLeft, (size.height() - 1 - kGlyphSide) / 2, kGlyphSide, kGlyphSide);
    if (glyph == Glyph::AddFilm) {
        DrawAddFilm(painter, glyphBox);
    } else {
        DrawRedCross(painter, glyphBox.adjusted(1, 1, -1, -1));
    }
    return image;
}

QImage PillButton(QSize size, const FacePalette& face, int scale) {
    QImage image = Canvas(size, scale);
    QPainter painter(&image);
    Prepare(painter, scale);
    const qreal radius = (size.height() - 4.0) / 2;
    DrawFace(painter, RoundedOutline(size, radius), face);
    return image;
}

QImage StartButton(QSize size, const FacePalette& face, int scale) {
    QImage image = Canvas(size, scale);
    QPainter painter(&image);
    Prepare(painter, scale);
    const QPointF centre(size.width() / 2.0, size.height() / 2.0 - 0.5);
    const qreal outer = qMin(size.width(), size.height()) / 2.0 - 2;

    // Grey ring: light at the top, darker at the bottom, with a drop shadow.
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(40, 90, 150, 70));
    painter.drawEllipse(centre + QPointF(0, 1.5), outer, outer);
    QLinearGradient ring(centre.x(), centre.y() - outer, centre.x(), centre.y() + outer);
    ring.setColorAt(0, QColor(236, 238, 242));
    ring.setColorAt(1, QColor(150, 156, 166));
    painter.setBrush(ring);
    painter.setPen(QPen(QColor(112, 118, 130), 1));
    painter.drawEllipse(centre, outer - 0.5, outer - 0.5);

    // Blue disc inside the ring, with its own gloss.
    const qreal inner = outer - 8;
    QPainterPath disc;
    disc.addEllipse(centre, inner, inner);
    DrawFace(painter, disc, face);

    DrawPlayTriangle(painter, QRectF(centre.x() - 6, centre.y() - 20, 13, 14));
    return image;
}

} // namespace picturegen
