#include "OutputNaming.h"

#include "BytePaths.h"
#include "FileSystem.h"

#include <QDir>
#include <QFile>

namespace quarnix {

namespace {

bool IsSeparator(QChar c) {
#ifdef _WIN32
    return c == u'\\' || c == u'/';
#else
    return c == u'/';
#endif
}

#ifdef _WIN32
// Names that differ only by case refer to the same file.
QString NameKey(const QString& path) {
    return QDir::cleanPath(path).toCaseFolded();
}

bool IsTaken(const QString& candidate, const QSet<QString>& takenKeys) {
    return PathExists(candidate) || takenKeys.contains(NameKey(candidate));
}
#endif

} // namespace

QString FileNameOf(const QString& path) {
    for (qsizetype i = path.size() - 1; i >= 0; --i) {
        if (IsSeparator(path[i])) {
            return path.mid(i + 1);
        }
    }
    return path;
}

#ifndef _WIN32

// File names are bytes here: the rule runs once, on the encoded names.
QString MakeOutputPath(const QString& folder, const QString& inputPath, const QSet<QString>& takenInBatch) {
    std::set<std::string> taken;
    for (const QString& path : takenInBatch) {
        taken.insert(QFile::encodeName(path).toStdString());
    }
    const std::string output = MakeOutputPathBytes(QFile::encodeName(folder).toStdString(),
                                                   QFile::encodeName(inputPath).toStdString(), taken);
    return QFile::decodeName(QByteArray::fromStdString(output));
}

#else

QString MakeOutputPath(const QString& folder, const QString& inputPath, const QSet<QString>& takenInBatch) {
    const QString name = FileNameOf(inputPath);
    const qsizetype nameDot = name.lastIndexOf(u'.');
    const QString base = nameDot < 0 ? name : name.left(nameDot);
    const qsizetype pathDot = inputPath.lastIndexOf(u'.');
    const QString dottedExtension = pathDot < 0 ? inputPath : inputPath.mid(pathDot);

    QString prefix = folder;
    if (prefix.isEmpty() || !IsSeparator(prefix.back())) {
        prefix += QDir::separator();
    }
    const QString first = prefix + base + dottedExtension;

    QSet<QString> takenKeys;
    for (const QString& taken : takenInBatch) {
        takenKeys.insert(NameKey(taken));
    }
    const qsizetype split = first.lastIndexOf(u'.');
    const QString head = split < 0 ? first : first.left(split);
    const QString tail = split < 0 ? QString() : first.mid(split);
    QString candidate = first;
    for (int k = 0; IsTaken(candidate, takenKeys); ++k) {
        candidate = head + u'(' + QString::number(k) + u')' + tail;
    }
    return candidate;
}

#endif

} // namespace quarnix
