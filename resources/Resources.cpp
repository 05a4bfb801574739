#include "Resources.h"

#include <QFile>

// The resources sit in a static library: registering them explicitly keeps the linker from dropping them.
static void RegisterResources() {
    Q_INIT_RESOURCE(quarnix);
}

namespace quarnix {

namespace {
void EnsureRegistered() {
    static const bool registered = (RegisterResources(), true);
    (void)registered;
}
} // namespace

QString BitmapResourcePath(int bitmapId, int scale) {
    return scale == 1 ? QStringLiteral(":/bitmaps/%1.bmp").arg(bitmapId)
                      : QStringLiteral(":/bitmaps/%1@%2x.bmp").arg(bitmapId).arg(scale);
}

QImage LoadBitmapResource(int bitmapId, int scale) {
    EnsureRegistered();
    const QString path = BitmapResourcePath(bitmapId, scale);
    return QFile::exists(path) ? QImage(path) : QImage();
}

QIcon LoadIconResource(int iconId) {
    EnsureRegistered();
    const QString path = QStringLiteral(":/icons/%1.png").arg(iconId);
    return QFile::exists(path) ? QIcon(path) : QIcon();
}

} // namespace quarnix
