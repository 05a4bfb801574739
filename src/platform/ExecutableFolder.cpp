#include "platform/ExecutableFolder.h"

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

ExecutableFolderMode& OverrideMode() {
    static ExecutableFolderMode mode = ExecutableFolderMode::Portable;
    return mode;
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

void SetExecutableFolderOverride(const QString& folder, ExecutableFolderMode mode) {
    Override() = folder;
    OverrideMode() = mode;
}

bool PortableOverride() {
    return !Override().isEmpty() && OverrideMode() == ExecutableFolderMode::Portable;
}

QString DataFolder() {
    const QString executable = ExecutableFolder();
    if (PortableOverride() || HoldsLanguages(executable)) {
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
