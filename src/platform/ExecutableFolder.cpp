#include "ExecutableFolder.h"

#include <QCoreApplication>
#include <QDir>

namespace quarnix {

namespace {
QString& Override() {
    static QString folder;
    return folder;
}
} // namespace

QString ExecutableFolder() {
    if (!Override().isEmpty()) {
        return Override();
    }
    return QDir::toNativeSeparators(QCoreApplication::applicationDirPath());
}

void SetExecutableFolderOverride(const QString& folder) {
    Override() = folder;
}

} // namespace quarnix
