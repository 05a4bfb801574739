#include "WidgetTestHelpers.h"

#include <QTest>

namespace quarnix::test {

void ShowAndExpose(QWidget& window) {
    window.show();
    if (!QTest::qWaitForWindowExposed(&window)) {
        qFatal("window was not exposed");
    }
}

QImage Grab(QWidget& widget) {
    return widget.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

int CountColor(const QImage& image, const QColor& color) {
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            count += image.pixel(x, y) == color.rgb() ? 1 : 0;
        }
    }
    return count;
}

QRect InkBounds(const QImage& image, const QColor& background) {
    QRect bounds;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (image.pixel(x, y) != background.rgb()) {
                bounds |= QRect(x, y, 1, 1);
            }
        }
    }
    return bounds;
}

} // namespace quarnix::test
