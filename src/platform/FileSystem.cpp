#include "FileSystem.h"

#include "BytePaths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStorageInfo>
#include <QTemporaryFile>

namespace quarnix {

bool PathExists(const QString& path) {
    if (path.isEmpty()) {
        return false;
    }
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

bool WriteProbeFile(const QString& folder) {
#ifndef _WIN32
    return WriteProbeFileBytes(QFile::encodeName(folder).toStdString());
#else
    const QDir dir(folder);
    QFile probe(dir.filePath(QString::fromLatin1(kWriteProbeFileName)));
    if (probe.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
        probe.close();
        probe.remove();
        return true;
    }
    if (!probe.exists()) {
        return false;
    }
    // Someone else's file has the test name: never touch it, test with a unique name instead.
    QTemporaryFile unique(dir.filePath(QStringLiteral("jlewhqlhqwenqfwk-XXXXXX.mp4")));
    return unique.open();
#endif
}

std::int64_t FreeBytes(const QString& folder) {
    const QStorageInfo storage(folder);
    if (!storage.isValid() || !storage.isReady()) {
        return -1;
    }
    return storage.bytesFree();
}

std::int64_t TotalFileSize(const QStringList& paths) {
    std::int64_t total = 0;
    for (const QString& path : paths) {
        const QFileInfo info(path);
        if (info.isFile()) {
            total += info.size();
        }
    }
    return total;
}

bool RoomSuffices(std::int64_t freeBytes, std::int64_t requiredBytes) {
    return freeBytes < 0 || freeBytes >= requiredBytes;
}

bool HasRoomFor(const QString& folder, std::int64_t requiredBytes) {
    return RoomSuffices(FreeBytes(folder), requiredBytes);
}

} // namespace quarnix
