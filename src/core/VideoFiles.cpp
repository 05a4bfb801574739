#include "core/VideoFiles.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

namespace quarnix {

namespace {

// Every extension offered here can be rotated: QuickTime and Matroska files in place, the others written
// in another container. Raw H.264 (no timing), RealMedia and NSV (no muxer that takes their streams) are
// left out.
constexpr const char* kVideoExtensions[] = {
    "mp4", "m4v", "mov", "qt", "3gp", "3gpp", "3g2", "f4v", "ismv", "mkv", "mk3d", "webm",
    "avi", "flv",  "swf", "mpg", "mpeg", "vob",  "mod", "tod", "dat", "ts",
    "mts", "m2ts", "m2t", "nut", "dv",   "ogv",  "asf", "wmv", "wm",
};

// Name order as people read it, the same on every machine whatever its locale: letters without case, runs
// of digits by their value ("clip2" before "clip10"); names equal that way keep a fixed order by their code
// points.
bool NameBefore(const QString& a, const QString& b) {
    qsizetype i = 0;
    qsizetype j = 0;
    while (i < a.size() && j < b.size()) {
        if (a[i].isDigit() && b[j].isDigit()) {
            qsizetype endA = i;
            qsizetype endB = j;
            while (endA < a.size() && a[endA].isDigit()) {
                ++endA;
            }
            while (endB < b.size() && b[endB].isDigit()) {
                ++endB;
            }
            // Leading zeros do not change a number's value.
            QStringView digitsA = QStringView(a).sliced(i, endA - i);
            QStringView digitsB = QStringView(b).sliced(j, endB - j);
            while (digitsA.size() > 1 && digitsA.front() == u'0') {
                digitsA = digitsA.sliced(1);
            }
            while (digitsB.size() > 1 && digitsB.front() == u'0') {
                digitsB = digitsB.sliced(1);
            }
            if (digitsA.size() != digitsB.size()) {
                return digitsA.size() < digitsB.size();
            }
            if (const int order = digitsA.compare(digitsB); order != 0) {
                return order < 0;
            }
            i = endA;
            j = endB;
            continue;
        }
        const QChar lowerA = a[i].toCaseFolded();
        const QChar lowerB = b[j].toCaseFolded();
        if (lowerA != lowerB) {
            return lowerA < lowerB;
        }
        ++i;
        ++j;
    }
    if ((a.size() - i) != (b.size() - j)) {
        return (a.size() - i) < (b.size() - j);
    }
    return a < b;
}

void AddFolderVideos(const QString& folder, QStringList& found) {
    QFileInfoList entries = QDir(folder).entryInfoList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot |
                                                       QDir::Hidden | QDir::System);
    std::sort(entries.begin(), entries.end(),
              [](const QFileInfo& a, const QFileInfo& b) { return NameBefore(a.fileName(), b.fileName()); });
    for (const QFileInfo& entry : entries) {
        if (entry.isDir()) {
            if (!entry.isSymLink()) {
                AddFolderVideos(entry.filePath(), found);
            }
        } else if (HasVideoExtension(entry.fileName())) {
            found << entry.filePath();
        }
    }
}

} // namespace

QString VideoFilePatterns() {
    QStringList patterns;
    for (const char* extension : kVideoExtensions) {
        patterns << QStringLiteral("*.") + QLatin1String(extension);
    }
    return patterns.join(u';');
}

bool HasVideoExtension(const QString& path) {
    const QString suffix = QFileInfo(path).suffix();
    return std::any_of(std::begin(kVideoExtensions), std::end(kVideoExtensions),
                       [&suffix](const char* extension) {
                           return suffix.compare(QLatin1String(extension), Qt::CaseInsensitive) == 0;
                       });
}

QStringList ExpandFolders(const QStringList& paths) {
    QStringList expanded;
    for (const QString& path : paths) {
        if (QFileInfo(path).isDir()) {
            AddFolderVideos(path, expanded);
        } else {
            expanded << path;
        }
    }
    return expanded;
}

} // namespace quarnix
