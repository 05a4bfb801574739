#include "settings/ProfileFile.h"

#include "settings/NumberText.h"
#include "settings/ProfileEncoding.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <optional>
#include <vector>

namespace quarnix {

namespace {

// Larger files are not profile files; reading them is refused rather than risking a long stall.
constexpr qint64 kMaxProfileBytes = 32 * 1024 * 1024;

bool IsProfileBlank(QChar c) {
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\v' || c == u'\f';
}

QStringView Trimmed(QStringView text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && IsProfileBlank(text[begin])) {
        ++begin;
    }
    while (end > begin && IsProfileBlank(text[end - 1])) {
        --end;
    }
    return text.sliced(begin, end - begin);
}

QString CutToBuffer(QStringView value) {
    if (value.size() > kProfileValueMaxLength) {
        qsizetype length = kProfileValueMaxLength;
        // Never leave half of a surrogate pair at the end.
        if (value[length - 1].isHighSurrogate()) {
            --length;
        }
        value = value.first(length);
    }
    return value.toString();
}

struct Line {
    QStringView text; // without its line end
    QStringView end;  // "\r\n", "\n", "\r" or empty for a last line without one
};

std::vector<Line> SplitLines(const QString& text) {
    std::vector<Line> lines;
    const QStringView all(text);
    qsizetype start = 0;
    const qsizetype size = all.size();
    for (qsizetype i = 0; i < size; ++i) {
        const QChar c = all[i];
        if (c != u'\n' && c != u'\r') {
            continue;
        }
        const qsizetype endLength = (c == u'\r' && i + 1 < size && all[i + 1] == u'\n') ? 2 : 1;
        lines.push_back({all.sliced(start, i - start), all.sliced(i, endLength)});
        i += endLength - 1;
        start = i + 1;
    }
    if (start < size) {
        lines.push_back({all.sliced(start), QStringView()});
    }
    return lines;
}

// The section name of a header line "[name]" (blanks around it ignored), or nothing for other lines.
// A line that opens with '[' but has no ']' is no header (Windows reads it as an ordinary line).
std::optional<QStringView> SectionName(QStringView line) {
    const QStringView trimmed = Trimmed(line);
    if (!trimmed.startsWith(u'[')) {
        return std::nullopt;
    }
    const qsizetype close = trimmed.indexOf(u']');
    if (close < 0) {
        return std::nullopt;
    }
    return Trimmed(trimmed.sliced(1, close - 1));
}

struct KeyLine {
    QStringView key;   // trimmed
    QStringView value; // trimmed, quotes still on
};

std::optional<KeyLine> ParseKeyLine(QStringView line) {
    const QStringView trimmed = Trimmed(line);
    if (trimmed.startsWith(u';')) {
        return std::nullopt;
    }
    const qsizetype equals = trimmed.indexOf(u'=');
    if (equals < 0) {
        return std::nullopt;
    }
    return KeyLine{Trimmed(trimmed.first(equals)), Trimmed(trimmed.sliced(equals + 1))};
}

bool SameName(QStringView a, QStringView b) {
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// Where a key stands in the file: the first section of that name and the first key of that name in it.
struct Location {
    qsizetype sectionLine = -1;    // header line of the first matching section, -1 when none
    qsizetype lastFilledLine = -1; // last line of the section that is neither blank nor a comment
    qsizetype keyLine = -1;        // line of the first matching key in it, -1 when none
    QStringView value;
};

Location Locate(const std::vector<Line>& lines, QStringView section, QStringView key) {
    Location where;
    for (qsizetype i = 0; i < static_cast<qsizetype>(lines.size()); ++i) {
        const QStringView text = lines[i].text;
        if (const auto name = SectionName(text)) {
            if (where.sectionLine >= 0) {
                break; // the first section of that name has ended
            }
            if (SameName(*name, section)) {
                where.sectionLine = i;
                where.lastFilledLine = i;
            }
            continue;
        }
        if (where.sectionLine < 0) {
            continue;
        }
        // A comment after the last setting belongs to what follows (usually the next section).
        if (const QStringView trimmed = Trimmed(text); !trimmed.isEmpty() && !trimmed.startsWith(u';')) {
            where.lastFilledLine = i;
        }
        if (where.keyLine < 0) {
            if (const auto keyLine = ParseKeyLine(text); keyLine && SameName(keyLine->key, key)) {
                where.keyLine = i;
                where.value = keyLine->value;
            }
        }
    }
    return where;
}

// The file's decoded text; nothing when it exists but cannot be used. A missing file is an empty text.
std::optional<DecodedProfile> LoadProfile(const QString& file, bool* exists) {
    const QFileInfo info(file);
    *exists = info.exists();
    if (!*exists) {
        return DecodedProfile{};
    }
    if (!info.isFile() || info.size() > kMaxProfileBytes) {
        return std::nullopt;
    }
    QFile in(file);
    if (!in.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    // A bounded read, so that a file that grows (or a device posing as a file) cannot stall us.
    const QByteArray bytes = in.read(kMaxProfileBytes + 1);
    if (bytes.size() > kMaxProfileBytes) {
        return std::nullopt;
    }
    return DecodeProfileBytes(bytes);
}

QString DefaultAsRead(const QString& defaultValue) {
    QStringView value(defaultValue);
    while (!value.isEmpty() && value.back() == u' ') {
        value.chop(1);
    }
    return CutToBuffer(value);
}

QStringView PlatformLineEnd() {
    return u"\n";
}

} // namespace

QString ReadProfileString(const QString& file, const QString& section, const QString& key,
                          const QString& defaultValue) {
    bool exists = false;
    const auto profile = LoadProfile(file, &exists);
    if (!profile) {
        return DefaultAsRead(defaultValue);
    }
    const std::vector<Line> lines = SplitLines(profile->text);
    const Location where = Locate(lines, section, key);
    if (where.keyLine < 0) {
        return DefaultAsRead(defaultValue);
    }
    QStringView value = where.value;
    if (value.size() >= 2 && (value.front() == u'"' || value.front() == u'\'') &&
        value.back() == value.front()) {
        value = value.sliced(1, value.size() - 2);
    }
    return CutToBuffer(value);
}

int ReadProfileInt(const QString& file, const QString& section, const QString& key, int defaultValue) {
    // Windows reads the text into a buffer of 30 characters first.
    const QString text = ReadProfileString(file, section, key, QString()).left(29);
    if (text.isEmpty()) {
        return defaultValue;
    }
    return LeadingIntegerWrapping(text);
}

bool WriteProfileString(const QString& file, const QString& section, const QString& key,
                        const QString& value) {
    const auto breaksLayout = [](const QString& text) {
        return text.contains(u'\n') || text.contains(u'\r');
    };
    const QStringView sectionName = Trimmed(section);
    const QStringView keyName = Trimmed(key);
    if (sectionName.isEmpty() || keyName.isEmpty() || breaksLayout(section) || breaksLayout(key) ||
        breaksLayout(value) || section.contains(u']') || key.contains(u'=') || keyName.startsWith(u';')) {
        return false;
    }

    bool exists = false;
    const auto profile = LoadProfile(file, &exists);
    if (!profile) {
        return false;
    }
    if (exists && !QFileInfo(file).isWritable()) {
        return false; // a read-only file stays as it is, as on Windows
    }
    const std::vector<Line> lines = SplitLines(profile->text);
    const ProfileEncoding encoding = exists ? profile->encoding : ProfileEncoding::Utf8;
    const QStringView lineEnd =
        !lines.empty() && !lines.front().end.isEmpty() ? lines.front().end : PlatformLineEnd();
    const Location where = Locate(lines, sectionName, keyName);

    QString out;
    out.reserve(profile->text.size() + section.size() + key.size() + value.size() + 8);
    const auto appendLine = [&](QStringView text, QStringView end) {
        out += text;
        out += end;
    };
    const QString setting = key.trimmed() + u'=' + value;
    for (qsizetype i = 0; i < static_cast<qsizetype>(lines.size()); ++i) {
        const Line& line = lines[i];
        if (i == where.keyLine) {
            // Keep the key as the file spells it, with its indentation.
            const QStringView text = line.text;
            const qsizetype equals = text.indexOf(u'=');
            appendLine(QString(text.first(equals).toString() + u'=' + value), line.end);
            continue;
        }
        if (where.keyLine < 0 && i == where.lastFilledLine) {
            appendLine(line.text, line.end.isEmpty() ? lineEnd : line.end);
            appendLine(setting, line.end.isEmpty() ? QStringView() : lineEnd);
            continue;
        }
        appendLine(line.text, line.end);
    }
    if (where.sectionLine < 0) {
        if (!lines.empty() && lines.back().end.isEmpty()) {
            out += lineEnd;
        }
        appendLine(QString(u'[' + section.trimmed() + u']'), lineEnd);
        appendLine(setting, lineEnd);
    }

    QSaveFile save(file);
    if (!save.open(QIODevice::WriteOnly)) {
        return false;
    }
    const QByteArray bytes = EncodeProfileText(out, encoding);
    if (save.write(bytes) != bytes.size()) {
        save.cancelWriting();
        return false;
    }
    return save.commit();
}

} // namespace quarnix
