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

QString BitmapResourcePath(int bitmapId) {
    return QStringLiteral(":/bitmaps/%1.bmp").arg(bitmapId);
}

QImage LoadBitmapResource(int bitmapId) {
    EnsureRegistered();
    return QImage(BitmapResourcePath(bitmapId));
}

QIcon LoadIconResource(int iconId) {
    EnsureRegistered();
    const QString path = QStringLiteral(":/icons/%1.png").arg(iconId);
    return QFile::exists(path) ? QIcon(path) : QIcon();
}

} // namespace quarnix
