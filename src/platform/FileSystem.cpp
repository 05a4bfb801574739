#include "platform/FileSystem.h"

#include "platform/BytePaths.h"

#include <QFile>

namespace quarnix {

bool PathExists(const QString& path) {
    return PathExistsBytes(QFile::encodeName(path).toStdString());
}

bool WriteProbeFile(const QString& folder) {
    return WriteProbeFileBytes(QFile::encodeName(folder).toStdString());
}

bool RoomSuffices(std::int64_t freeBytes, std::int64_t requiredBytes) {
    return freeBytes < 0 || freeBytes >= requiredBytes;
}

} // namespace quarnix
