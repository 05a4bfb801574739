#include "ButtonFaces.h"

#include "Glyphs.h"

#include <QFontMetricsF>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

namespace picturegen {

namespace {

constexpr int kIconCaptionMaxPixels = 14;
constexpr qreal kGlyphSide = 28;
constexpr qreal kGlyphLeft = 8;
constexpr int kPillCaptionPixels = 12;
constexpr int kStartCaptionPixels = 16;

QImage Canvas(QSize size) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(kSurround);
    return image;
}

void Prepare(QPainter& painter) {
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

// Caption with a one-pixel dark shadow underneath, centred in the box.
void DrawCaption(QPainter& painter, const QRectF& box, const QString& caption, int pixelSize) {
    painter.save();
    painter.setFont(CaptionFont(pixelSize));
    painter.setPen(QColor(10, 40, 100, 110));
    painter.drawText(box.translated(0, 1), Qt::AlignCenter, caption);
    painter.setPen(kCaption);
    painter.drawText(box, Qt::AlignCenter, caption);
    painter.restore();
}

QPainterPath RoundedOutline(QSize size, qreal radius) {
    QPainterPath outline;
    outline.addRoundedRect(QRectF(1.5, 1.5, size.width() - 3.0, size.height() - 4.0), radius, radius);
    return outline;
}

QRectF IconCaptionBox(QSize size) {
    const qreal left = kGlyphLeft + kGlyphSide + 3;
    return QRectF(left, 2, size.width() - left - 6, size.height() - 5);
}

} // namespace

int IconCaptionPixels(QSize size, const QStringList& captions) {
    const qreal room = IconCaptionBox(size).width();
    for (int pixels = kIconCaptionMaxPixels; pixels > 8; --pixels) {
        const QFontMetricsF metrics(CaptionFont(pixels));
        bool fits = true;
        for (const QString& caption : captions) {
            fits = fits && metrics.horizontalAdvance(caption) <= room;
        }
        if (fits) {
            return pixels;
        }
    }
    return 8;
}

QImage IconButton(QSize size, const FacePalette& face, Glyph glyph, const QString& caption,
                  int captionPixels) {
    QImage image = Canvas(size);
    QPainter painter(&image);
    Prepare(painter);
    DrawFace(painter, RoundedOutline(size, 9), face);

    const QRectF glyphBox(kGlyphLeft, (size.height() - 1 - kGlyphSide) / 2, kGlyphSide, kGlyphSide);
    if (glyph == Glyph::AddFilm) {
        DrawAddFilm(painter, glyphBox);
    } else {
        DrawRedCross(painter, glyphBox.adjusted(1, 1, -1, -1));
    }
    DrawCaption(painter, IconCaptionBox(size), caption, captionPixels);
    return image;
}

QImage PillButton(QSize size, const FacePalette& face, const QString& caption) {
    QImage image = Canvas(size);
    QPainter painter(&image);
    Prepare(painter);
    const qreal radius = (size.height() - 4.0) / 2;
    DrawFace(painter, RoundedOutline(size, radius), face);
    DrawCaption(painter, QRectF(2, 1, size.width() - 4, size.height() - 4), caption, kPillCaptionPixels);
    return image;
}

QImage StartButton(QSize size, const FacePalette& face, const QString& caption) {
    QImage image = Canvas(size);
    QPainter painter(&image);
    Prepare(painter);
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
    DrawCaption(painter, QRectF(centre.x() - inner, centre.y() - 2, 2 * inner, 22), caption,
                kStartCaptionPixels);
    return image;
}

} // namespace picturegen
