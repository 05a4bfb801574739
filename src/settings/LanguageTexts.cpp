#include "settings/LanguageTexts.h"

#include "platform/ExecutableFolder.h"
#include "settings/OutputPresets.h"
#include "settings/ProfileFile.h"
#include "settings/Settings.h"

#include <QDir>
#include <QLocale>
#include <QRegularExpression>

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

struct FallbackKey {
    QStringView section;
    QStringView key;
    QStringView english;
};

// Texts that every window shows, each with the English text that stands in when a pack lacks the key.
// Not constexpr: the sanitizer build cannot take the length of a string from another header at compile time.
const std::array kFallbackKeys = {
    FallbackKey{u"JIEMIAN", u"rotation", u"Set Rotation Degree"},
    FallbackKey{u"JIEMIAN", u"rotate90", u"Rotate 90 degrees clockwise"},
    FallbackKey{u"JIEMIAN", u"rotate180", u"Rotate 180 degrees clockwise"},
    FallbackKey{u"JIEMIAN", u"rotate270", u"Rotate 270 degrees clockwise"},
    FallbackKey{u"JIEMIAN", u"turnpictures", u"Turn the pictures (re-encode)"},
    FallbackKey{u"JIEMIAN", u"keepmatroska", u"Keep MKV and WebM as Matroska"},
    FallbackKey{u"JIEMIAN", u"output", u"Output"},
    FallbackKey{u"JIEMIAN", u"add", u"Add"},
    FallbackKey{u"JIEMIAN", u"remove", u"Remove"},
    FallbackKey{u"JIEMIAN", u"removeall", u"Remove All"},
    FallbackKey{u"JIEMIAN", u"start", u"Start"},
    FallbackKey{u"JIEMIAN", u"browse", u"Browse"},
    FallbackKey{u"JIEMIAN", u"findtarget", u"Find Target"},
    FallbackKey{u"JIEMIAN", u"videoquality", u"Video Quality"},
    FallbackKey{u"JIEMIAN", u"openfolder", u"Open directory when finished"},
    FallbackKey{u"JIEMIAN", u"filelist", u"Files to rotate"},
    FallbackKey{u"JIEMIAN", u"fileprogress", u"Progress of the current file"},
    FallbackKey{u"JIEMIAN", u"batchprogress", u"Progress of all files"},
    FallbackKey{u"JIEMIAN", u"choosefolder", u"Please select output folder:"},
    FallbackKey{u"JIEMIAN", u"emptylist", u"Add videos with Add (Ctrl+O), or drop videos or folders here."},
    FallbackKey{u"JIEMIAN", u"outputfield", u"Output folder"},
    FallbackKey{u"JIEMIAN", u"replaceoriginals", u"Replace the originals"},
    FallbackKey{u"JIEMIAN", u"asrecorded", u"As recorded"},
    FallbackKey{u"JIEMIAN", u"setturn", u"Set to %1° clockwise"},
    FallbackKey{u"JIEMIAN", u"turnby", u"Turn %1° clockwise"},
    FallbackKey{u"JIEMIAN", u"turnright", u"Turn right (90° clockwise)"},
    FallbackKey{u"JIEMIAN", u"turnleft", u"Turn left (90° counter-clockwise)"},
    FallbackKey{u"JIEMIAN", u"turnhalf", u"Turn 180°"},
    FallbackKey{u"JIEMIAN", u"asrecordedmenu", u"As recorded (clear the rotation)"},
    FallbackKey{u"JIEMIAN", u"shownturned", u"shown turned %1°"},
    FallbackKey{u"JIEMIAN", u"shownmirrored", u"mirrored"},
    FallbackKey{u"TISHI", u"selectfile", u"Please select file first!"},
    FallbackKey{u"TISHI", u"toomany",
                u"A batch holds at most %1 files. Please untick some files and start again."},
    FallbackKey{u"TISHI", u"readonly",
                u"Rotate failed\uFF0C please click browse button to save as other directory!"},
    FallbackKey{u"TISHI", u"nospace",
                u"Not enough disk space, Please click browse button to save as other directory!"},
    FallbackKey{u"TISHI", u"invalidfolder",
                u"The output folder name is invalid! please save to other directory!"},
    FallbackKey{u"TISHI", u"nowrite", u"No write right\uFF0Cplease save to other directory!"},
    FallbackKey{u"TISHI", u"linkfailed", u"Unable to open hyperlink:"},
    FallbackKey{u"TISHI", u"convertfailed", kSizeSplitFailedMessage},
    FallbackKey{u"TISHI", u"batchsummary", u"%1 of %2 done, %3 failed"},
    FallbackKey{u"TISHI", u"batchnotdone", u"%1 not done"},
    FallbackKey{u"TISHI", u"noopener",
                u"No program on this computer can open %1. Installing xdg-utils (xdg-open) provides one."},
    FallbackKey{u"TISHI", u"openfailed",
                u"%1 could not be opened: the program that opens it on this computer reported a failure."},
    FallbackKey{u"TISHI", u"createfolder", u"The folder %1 does not exist. Create it?"},
    FallbackKey{
        u"TISHI", u"replaceask",
        u"Each rotated file will take the place of its original, which is replaced once the new file is "
        u"complete and on the disk (a file whose container changes is written beside it, and the original "
        u"is then removed). Replace the originals?"},
    FallbackKey{u"HINT", u"removeall", u"Remove All Files"},
    FallbackKey{u"HINT", u"drop", u"Drag and Drop Files Here"},
    FallbackKey{u"HINT", u"language", u"Right-click to choose the language"},
    // Why a file failed, as the engine says it; the Status tooltip shows the pack's words for it.
    FallbackKey{u"REASON", u"diskfull", u"the disk is full"},
    FallbackKey{u"REASON", u"quota", u"the disk quota is used up"},
    FallbackKey{u"REASON", u"toolarge", u"the output is larger than the file system allows"},
    FallbackKey{u"REASON", u"namelong", u"the output name is too long"},
    FallbackKey{u"REASON", u"ioerror", u"the drive reported a read or write error"},
    FallbackKey{u"REASON", u"memory", u"there was not enough memory"},
    FallbackKey{u"REASON", u"inputgone", u"the input no longer exists"},
    FallbackKey{u"REASON", u"inputdenied", u"the input may not be read"},
    FallbackKey{u"REASON", u"inputfolder", u"the input is a folder"},
    FallbackKey{u"REASON", u"notvideo", u"the input cannot be opened as a video"},
    FallbackKey{u"REASON", u"streams", u"the input's streams cannot be read"},
    FallbackKey{u"REASON", u"nocontainer", u"no container can be written for this output name"},
    FallbackKey{u"REASON", u"foldergone", u"the output folder no longer exists"},
    FallbackKey{u"REASON", u"nopackets", u"the input holds no picture or sound that can be copied"},
    FallbackKey{u"REASON", u"inputchanged", u"the input changed while it was read"},
    FallbackKey{u"REASON", u"outputremoved", u"the output was removed while it was written"},
    FallbackKey{u"REASON", u"folderdenied", u"the output folder may not be written"},
    FallbackKey{u"REASON", u"createfailed", u"the output file cannot be created"},
    FallbackKey{u"REASON", u"streamsrefused", u"the output container does not accept these streams"},
    FallbackKey{u"REASON", u"encoder", u"the encoder could not be set up"},
    FallbackKey{u"REASON", u"readfailed", u"the input could not be read to its end"},
    FallbackKey{u"REASON", u"writefailed", u"writing the output failed"},
    FallbackKey{u"REASON", u"failed", u"the conversion failed"},
    FallbackKey{u"REASON", u"writtenas", u"written as %1: %2 cannot carry a rotation"},
    FallbackKey{u"REASON", u"badname", u"the disk does not allow this file name"},
    FallbackKey{
        u"REASON", u"foldermoved",
        u"the output folder was moved or removed while the file was written, and its partial file was "
        u"removed"},
    FallbackKey{
        u"REASON", u"placeholder",
        u"this disk cannot rename a file without replacing another, so the name was first taken by an "
        u"empty file: a crash at that moment could leave that empty file under this name"},
    FallbackKey{u"REASON", u"leftout", u"%1 stream %2 left out: %3"},
    FallbackKey{u"REASON", u"leftdamaged", u"it is damaged or of an unknown kind"},
    FallbackKey{u"REASON", u"leftnavigation", u"it holds DVD navigation, which no video file keeps"},
    FallbackKey{u"REASON", u"leftrefused", u"the %1 container does not take it"},
    FallbackKey{u"REASON", u"cutshort",
                u"the input is cut short: the output holds the part of it that is there"},
    FallbackKey{u"REASON", u"writtenforplayers", u"written as %1: most players ignore a Matroska rotation"},
    FallbackKey{u"REASON", u"av1mark",
                u"VLC 3 shows AV1 video in MP4 unrotated; \"turn the pictures\" plays upright everywhere"},
    FallbackKey{
        u"REASON", u"keptmatroska",
        u"kept as Matroska: VLC 3, mpv 0.35 and GNOME Videos 43 show it unrotated; \"turn the pictures\" "
        u"plays upright everywhere"},
};

// Program-wide: filled at main-window set-up and again when the user picks another language.
std::array<QString, kLoadedKeys.size() + kFallbackKeys.size()>& Slots() {
    static std::array<QString, kLoadedKeys.size() + kFallbackKeys.size()> textSlots;
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

int FallbackIndex(QStringView section, QStringView key) {
    for (std::size_t i = 0; i < kFallbackKeys.size(); ++i) {
        if (kFallbackKeys[i].section == section && kFallbackKeys[i].key == key) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

struct LocalePack {
    QLocale::Language language;
    const char* file;
};
constexpr LocalePack kLocalePacks[] = {
    {QLocale::English, "english.ini"}, {QLocale::Spanish, "spanish.ini"}, {QLocale::German, "german.ini"},
    {QLocale::French, "french.ini"},   {QLocale::Italian, "italian.ini"}, {QLocale::Japanese, "japanese.ini"},
};

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
    for (std::size_t i = 0; i < kFallbackKeys.size(); ++i) {
        Slots()[kLoadedKeys.size() + i] = ReadProfileString(pack, kFallbackKeys[i].section.toString(),
                                                            kFallbackKeys[i].key.toString(), QString());
    }
}

QString Text(QStringView section, QStringView key) {
    if (const int index = SlotIndex(section, key); index >= 0) {
        return Slots()[index];
    }
    if (const int index = FallbackIndex(section, key); index >= 0) {
        const QString& text = Slots()[kLoadedKeys.size() + static_cast<std::size_t>(index)];
        return text.isEmpty() ? kFallbackKeys[index].english.toString() : text;
    }
    return QString();
}

namespace {

// A reason the engine always words the same way, in the pack's words; nothing for any other text.
std::optional<QString> FixedReasonText(const QString& englishReason) {
    for (const FallbackKey& key : kFallbackKeys) {
        if (key.section == u"REASON" && key.english == englishReason) {
            return Text(key.section, key.key);
        }
    }
    return std::nullopt;
}

// One sentence of a reason or note, in the pack's words.
QString TranslatedSentence(const QString& englishReason) {
    static const QRegularExpression writtenAs(
        QStringLiteral("^written as (\\S+): (.+) cannot carry a rotation$"));
    if (const QRegularExpressionMatch match = writtenAs.match(englishReason); match.hasMatch()) {
        return Text(u"REASON", u"writtenas").arg(match.captured(1), match.captured(2));
    }
    static const QRegularExpression leftOut(QStringLiteral("^(\\S+) stream (\\d+) left out: (.+)$"));
    if (const QRegularExpressionMatch match = leftOut.match(englishReason); match.hasMatch()) {
        static const QRegularExpression refused(QStringLiteral("^the (.+) container does not take it$"));
        const QString why = match.captured(3);
        QString translatedWhy = TranslatedSentence(why);
        if (const QRegularExpressionMatch container = refused.match(why); container.hasMatch()) {
            translatedWhy = Text(u"REASON", u"leftrefused").arg(container.captured(1));
        }
        return Text(u"REASON", u"leftout").arg(match.captured(1), match.captured(2), translatedWhy);
    }
    static const QRegularExpression writtenForPlayers(
        QStringLiteral("^written as (\\S+): most players ignore a Matroska rotation$"));
    if (const QRegularExpressionMatch match = writtenForPlayers.match(englishReason); match.hasMatch()) {
        return Text(u"REASON", u"writtenforplayers").arg(match.captured(1));
    }
    return FixedReasonText(englishReason).value_or(englishReason);
}

} // namespace

QString TranslatedReason(const QString& englishReason) {
    // A note may hold several sentences, "; " between them (AddNote in the engine). A text of the packs
    // may hold "; " itself (the note on Matroska kept as it is): two parts that make one are taken together.
    const QStringList sentences = englishReason.split(QStringLiteral("; "));
    QStringList translated;
    for (qsizetype i = 0; i < sentences.size(); ++i) {
        if (i + 1 < sentences.size()) {
            const QString both = sentences[i] + QStringLiteral("; ") + sentences[i + 1];
            if (const std::optional<QString> text = FixedReasonText(both)) {
                translated << *text;
                ++i;
                continue;
            }
        }
        translated << TranslatedSentence(sentences[i]);
    }
    return translated.join(QStringLiteral("; "));
}

QList<FallbackText> FallbackTexts() {
    QList<FallbackText> texts;
    for (const FallbackKey& key : kFallbackKeys) {
        texts.append({key.section.toString(), key.key.toString(), key.english.toString()});
    }
    return texts;
}

QString LanguageFileForLocale(const QLocale& locale) {
    for (const LocalePack& pack : kLocalePacks) {
        if (pack.language == locale.language()) {
            return QString::fromLatin1(pack.file);
        }
    }
    return QStringLiteral("english.ini");
}

QString QtLanguageOfPack(const QString& languageFile) {
    for (const LocalePack& pack : kLocalePacks) {
        if (languageFile.compare(QLatin1String(pack.file), Qt::CaseInsensitive) == 0) {
            return QLocale(pack.language).name().section(u'_', 0, 0);
        }
    }
    return QString();
}

QString CurrentLanguageFile() {
    const QString chosen = ReadLanguageFile();
    return chosen.isEmpty() ? LanguageFileForLocale(QLocale::system()) : chosen;
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
        return Text(u"JIEMIAN", u"videoquality");
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
    const QString pack = LanguagePackPath(CurrentLanguageFile());
    ProgressTexts texts;
    texts.windowTitle =
        ReadProfileString(pack, QStringLiteral("APPLICATION"), QStringLiteral("name"), QString());
    texts.currentFileCaption =
        ReadProfileString(pack, QStringLiteral("JIEMIAN"), QStringLiteral("dqwj"), QString());
    texts.stopButton = ReadProfileString(pack, QStringLiteral("JIEMIAN"), QStringLiteral("tz"), QString());
    texts.batchCaption =
        ReadProfileString(pack, QStringLiteral("JIEMIAN"), QStringLiteral("zgwj"), QString());
    const auto withFallback = [&pack](const char* key) {
        const QString text =
            ReadProfileString(pack, QStringLiteral("JIEMIAN"), QString::fromLatin1(key), QString());
        return text.isEmpty()
                   ? kFallbackKeys[FallbackIndex(u"JIEMIAN", QString::fromLatin1(key))].english.toString()
                   : text;
    };
    texts.openFolderBox = withFallback("openfolder");
    texts.fileBarName = withFallback("fileprogress");
    texts.batchBarName = withFallback("batchprogress");
    return texts;
}

void ResetTexts() {
    for (QString& text : Slots()) {
        text.clear();
    }
}

} // namespace quarnix
