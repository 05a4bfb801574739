#include "platform/OutputNaming.h"

#include "platform/BytePaths.h"

#include <QFile>

namespace quarnix {

namespace {

std::string Encode(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

QString Decode(const std::string& path) {
    return QFile::decodeName(QByteArray::fromStdString(path));
}

} // namespace

// File names are bytes here: the rules run on the encoded names.
QString FileNameOf(const QString& path) {
    return Decode(FileNameOfBytes(Encode(path)));
}

QString MakeOutputPath(const QString& folder, const QString& inputPath, const QSet<QString>& takenInBatch) {
    std::set<std::string> taken;
    for (const QString& path : takenInBatch) {
        taken.insert(Encode(path));
    }
    return Decode(MakeOutputPathBytes(Encode(folder), Encode(inputPath), taken));
}

} // namespace quarnix
