// Colours shared by every picture, so that all buttons look like one family.
// The hover variant of a face is the same face tinted slightly less blue.
#pragma once

#include <QColor>

namespace picturegen {

// The light blue that surrounds every button face; equal to the main window's background.
inline const QColor kSurround(187, 222, 251);

// Caption and glyph strokes: off-white, because pure white marks holes in a button's shape.
inline const QColor kCaption(250, 252, 255);

struct FacePalette {
    QColor top;    // gradient start at the top edge
    QColor bottom; // gradient end at the bottom edge
    QColor border; // one-pixel outline
};

FacePalette NormalFace();
FacePalette HoverFace();

} // namespace picturegen
