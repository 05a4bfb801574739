// Small drawings placed on the button faces: the film with a green plus and the red cross.
// Each fits the square it is given, so one drawing serves every button size.
#pragma once

#include <QPainter>
#include <QRectF>

namespace picturegen {

// A strip of film with sprocket holes and a green "add" badge at its lower right.
void DrawAddFilm(QPainter& painter, const QRectF& box);

// A red round badge with an off-white cross.
void DrawRedCross(QPainter& painter, const QRectF& box);

// A rightward play triangle in the caption colour.
void DrawPlayTriangle(QPainter& painter, const QRectF& box);

} // namespace picturegen
