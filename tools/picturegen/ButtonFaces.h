// The faces of the image buttons: rounded rectangles with an icon, pills, and the round start button,
// without words (the program draws each caption in its language, where ButtonLayout.h puts it). Every
// picture is opaque, painted on the light-blue surround, at 1x or at a higher scale for dense screens.
#pragma once

#include "Palette.h"

#include <QImage>

namespace picturegen {

enum class Glyph { AddFilm, RedCross };

// A rounded face with the glyph on the left and room for the caption to its right. The image is
// size * scale pixels.
QImage IconButton(QSize size, const FacePalette& face, Glyph glyph, int scale);

// A fully rounded pill.
QImage PillButton(QSize size, const FacePalette& face, int scale);

// A round blue button inside a grey ring, with a play mark above the caption's room.
QImage StartButton(QSize size, const FacePalette& face, int scale);

} // namespace picturegen
