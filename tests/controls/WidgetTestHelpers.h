// Small helpers shared by the widget tests: showing a window, reading pixels of a grabbed widget.
#pragma once

#include <QColor>
#include <QImage>
#include <QWidget>

namespace quarnix::test {

// Shows the top-level window and waits until the offscreen platform has exposed it.
void ShowAndExpose(QWidget& window);

// The widget as it is painted now, in RGB32.
QImage Grab(QWidget& widget);

// How many pixels have exactly that colour.
int CountColor(const QImage& image, const QColor& color);

// The bounding box of the pixels that differ from the given background colour.
QRect InkBounds(const QImage& image, const QColor& background);

} // namespace quarnix::test
