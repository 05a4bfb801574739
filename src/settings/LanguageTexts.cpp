#include "LanguageTexts.h"

#include "ExecutableFolder.h"
#include "ProfileFile.h"
#include "Settings.h"

#include <QDir>

#include <array>

namespace quarnix {

namespace {

struct TextKey {
    QStringView section;
    QStringView key;
};

// The order in which the loader reads the pack's keys.
constexpr std::array kLoadedKeys = {
    TextKey{u"APPLICATION", u"name"}, TextKey{u"APPLICATION", u"version"}, TextKey{u"APPLICATION", u"url"},
    TextKey{u"TISHI", u"wj"},         TextKey{u"TISHI", u"wj1"},           TextKey{u"TISHI", u"wx"},
    TextKey{u"TISHI", u"qxtjsp"},     TextKey{u"TISHI", u"mlbcz"},         TextKey{u"TISHI", u"zslgwj"},
    TextKey{u"TISHI", u"wjwczg"},     TextKey{u"TISHI", u"wjwc"},          TextKey{u"TISHI", u"sb"},
    TextKey{u"TISHI", u"wc"},         TextKey{u"TISHI", u"jqcg"},          TextKey{u"TISHI", u"jqsb"},
    TextKey{u"TISHI", u"hbcg"},       TextKey{u"TISHI", u"hbsb"},          TextKey{u"TISHI", u"bnzjhb"},
    TextKey{u"JIEMIAN", u"yy"},       TextKey{u"JIEMIAN", u"zysybrj"},     TextKey{u"JIEMIAN", u"zb"},
    TextKey{u"JIEMIAN", u"ksjq"},     TextKey{u"JIEMIAN", u"jsjq"},        TextKey{u"JIEMIAN", u"jqsj"},
    TextKey{u"JIEMIAN", u"symtwj"},   TextKey{u"JIEMIAN", u"sywj"},        TextKey{u"JIEMIAN", u"spjq"},
    TextKey{u"JIEMIAN", u"sphb"},     TextKey{u"JIEMIAN", u"ywj"},         TextKey{u"JIEMIAN", u"spgs"},
    TextKey{u"JIEMIAN", u"spcd"},     TextKey{u"JIEMIAN", u"spdx"},        TextKey{u"JIEMIAN", u"zl"},
    TextKey{u"JIEMIAN", u"zt"},       TextKey{u"HINT", u"hbcygwj"},        TextKey{u"HINT", u"djsbzj"},
    TextKey{u"HINT", u"sc"},          TextKey{u"HINT", u"tjspwj"},         TextKey{u"HINT", u"ksjq"},
    TextKey{u"HINT", u"bf"},          TextKey{u"HINT", u"szksjqd"},        TextKey{u"HINT", u"szjsjqd"},
    TextKey{u"HINT", u"zjsrsjd"},
};

// Program-wide, as in the original: filled once at main-window set-up, kept until the process ends.
std::array<QString, kLoadedKeys.size()>& Slots() {
    static std::array<QString, kLoadedKeys.size()> textSlots;
    return textSlots;
}

int SlotIndex(QStringView section, QStringView key) {
    for (std::size_t i = 0; i < kLoadedKeys.size(); ++i) {
        if (kLoadedKeys[i].section == section && kLoadedKeys[i].key == key) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

} // namespace

QStringList LanguageFileNames() {
    return {QStringLiteral("english.ini"), QStringLiteral("spanish.ini"), QStringLiteral("german.ini"),
            QStringLiteral("french.ini"),  QStringLiteral("italian.ini"), QStringLiteral("japanese.ini")};
}

int LanguagePosition(const QString& languageFile) {
    return static_cast<int>(LanguageFileNames().indexOf(languageFile.toLower()));
}

QString LanguagePackPath(const QString& languageFile) {
    return DataFolder() + QDir::separator() + QStringLiteral("languages") + QDir::separator() + languageFile;
}

QString ReadPackText(const QString& languageFile, const QString& section, const QString& key) {
    return ReadProfileString(LanguagePackPath(languageFile), section, key, QString());
}

void LoadTexts(const QString& languageFile) {
    const QString pack = LanguagePackPath(languageFile);
    for (std::size_t i = 0; i < kLoadedKeys.size(); ++i) {
        Slots()[i] = ReadProfileString(pack, kLoadedKeys[i].section.toString(), kLoadedKeys[i].key.toString(),
                                       QString());
    }
}

QString Text(QStringView section, QStringView key) {
    const int index = SlotIndex(section, key);
    return index < 0 ? QString() : Slots()[index];
}

bool IsLoadedText(QStringView section, QStringView key) {
    return SlotIndex(section, key) >= 0;
}

QList<std::pair<QString, QString>> LoadedTextKeys() {
    QList<std::pair<QString, QString>> keys;
    for (const TextKey& key : kLoadedKeys) {
        keys.append({key.section.toString(), key.key.toString()});
    }
    return keys;
}

QString ColumnHeader(int column) {
    switch (column) {
    case 0:
        return Text(u"JIEMIAN", u"ywj");
    case 1:
        return Text(u"JIEMIAN", u"spgs");
    case 2:
        return Text(u"JIEMIAN", u"spcd");
    case 3:
        return Text(u"JIEMIAN", u"spdx");
    case 4:
        return QString::fromLatin1(kVideoQualityHeader);
    case 5:
        return Text(u"JIEMIAN", u"zl");
    case 6:
        return Text(u"JIEMIAN", u"zt");
    case 7:
        return QString::fromLatin1(kProfileHeader);
    default:
        return QString();
    }
}

QString MainWindowTitle() {
    return Text(u"APPLICATION", u"name") + u' ' + Text(u"APPLICATION", u"version");
}

std::optional<QString> ToolTipText(int controlId) {
    switch (controlId) {
    case 1254:
        return Text(u"HINT", u"sc");
    case 1255:
    case 1000:
    case 1183:
        return Text(u"HINT", u"tjspwj");
    case 1282:
        return QStringLiteral("Remove All Files");
    case 1099:
        return Text(u"HINT", u"hbcygwj");
    case 1114:
    case 1139:
        return QStringLiteral("Drag and Drop Files Here");
    case 1004:
        return Text(u"HINT", u"ksjq");
    case 1023:
    case 1024:
        return Text(u"HINT", u"zjsrsjd");
    case 1140:
        return Text(u"HINT", u"djsbzj");
    case 1149:
        return Text(u"HINT", u"szjsjqd");
    case 1154:
        return Text(u"HINT", u"szksjqd");
    case 1188:
        return Text(u"HINT", u"bf");
    default:
        return std::nullopt;
    }
}

QUrl LinkAddressUrl(const QString& address) {
    if (address.isEmpty()) {
        return QUrl();
    }
    const QUrl asUrl(address);
    // A one-letter scheme is a Windows drive ("C:\..."), not a scheme.
    if (asUrl.isValid() && asUrl.scheme().size() > 1) {
        return asUrl;
    }
    QString path = address;
    QString fragment;
    if (const qsizetype hash = address.indexOf(u'#'); hash >= 0) {
        path = address.left(hash);
        fragment = address.mid(hash + 1);
    }
    if (QDir::isRelativePath(path)) {
        path = QDir(DataFolder()).filePath(path);
    }
    QUrl url = QUrl::fromLocalFile(QDir::cleanPath(path));
    if (!fragment.isEmpty()) {
        url.setFragment(fragment);
    }
    return url;
}

ProgressTexts ReadProgressTexts() {
    const QString pack = LanguagePackPath(ReadLanguageFile());
    ProgressTexts texts;
    texts.windowTitle =
        ReadProfileString(pack, QStringLiteral("APPLICATION"), QStringLiteral("name"), QString());
    texts.currentFileCaption =
        ReadProfileString(pack, QStringLiteral("JIEMIAN"), QStringLiteral("dqwj"), QString());
    texts.stopButton = ReadProfileString(pack, QStringLiteral("JIEMIAN"), QStringLiteral("tz"), QString());
    texts.batchCaption =
        ReadProfileString(pack, QStringLiteral("JIEMIAN"), QStringLiteral("zgwj"), QString());
    return texts;
}

void ResetTexts() {
    for (QString& text : Slots()) {
        text.clear();
    }
}

} // namespace quarnix
