#include "platform/FileSystem.h"

#include "platform/BytePaths.h"

#include <QFile>
#include <QFileInfo>
#include <QStorageInfo>

namespace quarnix {

bool PathExists(const QString& path) {
    return PathExistsBytes(QFile::encodeName(path).toStdString());
}

bool WriteProbeFile(const QString& folder) {
    return WriteProbeFileBytes(QFile::encodeName(folder).toStdString());
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
