// The faces of the image buttons: rounded rectangles with an icon and a caption, pills, and the
// round start button. Every picture is opaque, painted on the light-blue surround.
#pragma once

#include "Palette.h"

#include <QImage>
#include <QString>
#include <QStringList>

namespace picturegen {

enum class Glyph { AddFilm, RedCross };

// A rounded face with the glyph on the left and the caption centred in the space to its right, at the
// caption pixel size that IconCaptionPixels chose for the whole family.
QImage IconButton(QSize size, const FacePalette& face, Glyph glyph, const QString& caption,
                  int captionPixels);

// The largest caption size (at most 14 pixels) at which every caption fits an icon button of that size,
// so that all icon buttons share one caption size.
int IconCaptionPixels(QSize size, const QStringList& captions);

// A fully rounded pill with a centred caption.
QImage PillButton(QSize size, const FacePalette& face, const QString& caption);

// A round blue button inside a grey ring, with a play mark above the caption.
QImage StartButton(QSize size, const FacePalette& face, const QString& caption);

} // namespace picturegen
