#include "ExecutableFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace quarnix {

namespace {

QString& Override() {
    static QString folder;
    return folder;
}

bool HoldsLanguages(const QString& folder) {
    return QFileInfo(QDir(folder).filePath(QStringLiteral("languages"))).isDir();
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

bool ExecutableFolderOverridden() {
    return !Override().isEmpty();
}

QString DataFolder() {
    const QString executable = ExecutableFolder();
    if (ExecutableFolderOverridden() || HoldsLanguages(executable)) {
        return executable;
    }
    const QString installed = QDir::cleanPath(QDir(executable).filePath(QStringLiteral("../share/quarnix")));
    if (HoldsLanguages(installed)) {
        return QDir::toNativeSeparators(installed);
    }
    const QStringList candidates = QStandardPaths::locateAll(
        QStandardPaths::GenericDataLocation, QStringLiteral("quarnix"), QStandardPaths::LocateDirectory);
    for (const QString& candidate : candidates) {
        if (HoldsLanguages(candidate)) {
            return QDir::toNativeSeparators(QDir::cleanPath(candidate));
        }
    }
    return executable;
}

} // namespace quarnix
