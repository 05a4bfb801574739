#include "QuarnixVersion.h"
#include "SettingsTestSupport.h"
#include "settings/LanguageTexts.h"
#include "settings/ProfileEncoding.h"
#include "settings/ProfileFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStringDecoder>

#include <gtest/gtest.h>

namespace quarnix {
namespace {

using test::ReadBytes;

// Every key that a pack must hold: the loader's, and those read outside it (progress window, set-up).
QList<std::pair<QString, QString>> RequiredKeys() {
    auto keys = LoadedTextKeys();
    keys.append(std::pair<QString, QString>("JIEMIAN", "ywjyy"));
    keys.append(std::pair<QString, QString>("JIEMIAN", "dqwj"));
    keys.append(std::pair<QString, QString>("JIEMIAN", "tz"));
    keys.append(std::pair<QString, QString>("JIEMIAN", "zgwj"));
    for (const FallbackText& text : FallbackTexts()) {
        keys.append({text.section, text.key});
    }
    return keys;
}

TEST(ShippedData, BuildFolderHoldsTheShippedFiles) {
    const QString bin = test::BinFolder();
    EXPECT_TRUE(QFile::exists(bin + "/setting.ini")) << bin.toStdString();
    EXPECT_TRUE(QFile::exists(bin + "/help/index.html"));
    for (const QString& name : LanguageFileNames()) {
        const QByteArray shipped = ReadBytes(bin + "/languages/" + name);
        EXPECT_FALSE(shipped.isEmpty()) << name.toStdString();
        EXPECT_EQ(shipped, ReadBytes(test::DataSourceFolder() + "/languages/" + name)) << name.toStdString();
    }
}

// Each pack's help link leads to a page in the pack's own language, shipped beside the packs.
TEST(ShippedData, EveryPackLinksToAHelpPageInItsLanguage) {
    const std::pair<QString, QString> packLanguages[] = {
        {"english.ini", "en"}, {"spanish.ini", "es"}, {"german.ini", "de"},
        {"french.ini", "fr"},  {"italian.ini", "it"}, {"japanese.ini", "ja"},
    };
    QStringList pages;
    for (const auto& [name, language] : packLanguages) {
        const QString url =
            ReadProfileString(test::BinFolder() + "/languages/" + name, "APPLICATION", "url", "");
        ASSERT_FALSE(url.isEmpty()) << name.toStdString();
        const QByteArray page = ReadBytes(test::BinFolder() + "/" + url);
        ASSERT_FALSE(page.isEmpty()) << name.toStdString() << ": " << url.toStdString() << " is not shipped";
        EXPECT_EQ(page, ReadBytes(test::DataSourceFolder() + "/" + url)) << url.toStdString();
        EXPECT_TRUE(page.contains("<html lang=\"" + language.toUtf8() + "\">"))
            << name.toStdString() << " links to " << url.toStdString() << ", not a page in its language";
        // Its style sheet is shipped where the page looks for it.
        static const QRegularExpression sheetLink(QStringLiteral("rel=\"stylesheet\" href=\"([^\"]+)\""));
        const QRegularExpressionMatch sheet = sheetLink.match(QString::fromUtf8(page));
        ASSERT_TRUE(sheet.hasMatch()) << url.toStdString();
        const QString pageFolder = QFileInfo(test::BinFolder() + "/" + url).path();
        EXPECT_TRUE(QFile::exists(pageFolder + "/" + sheet.captured(1))) << url.toStdString();
        EXPECT_FALSE(pages.contains(url)) << url.toStdString() << " serves two packs";
        pages.append(url);
    }
}

TEST(ShippedData, EveryPackHoldsEveryKey) {
    const QString sentinel = "\x01missing";
    for (const QString& name : LanguageFileNames()) {
        const QString pack = test::BinFolder() + "/languages/" + name;
        const QByteArray bytes = ReadBytes(pack);
        if (name == "japanese.ini") {
            EXPECT_TRUE(bytes.startsWith("\xFF\xFE")) << "japanese.ini is UTF-16LE with byte-order mark";
            EXPECT_EQ(DecodeProfileBytes(bytes).encoding, ProfileEncoding::Utf16LE);
        } else {
            EXPECT_EQ(DecodeProfileBytes(bytes).encoding, ProfileEncoding::Utf8) << name.toStdString();
        }
        for (const auto& [section, key] : RequiredKeys()) {
            const QString value = ReadProfileString(pack, section, key, sentinel);
            EXPECT_NE(value, sentinel) << name.toStdString() << ": " << section.toStdString() << " "
                                       << key.toStdString() << " missing";
            EXPECT_FALSE(value.trimmed().isEmpty()) << name.toStdString() << ": " << section.toStdString()
                                                    << " " << key.toStdString() << " empty";
        }
        EXPECT_EQ(ReadProfileString(pack, "APPLICATION", "name", ""), "Quarnix") << name.toStdString();
        // The title shows the pack's version: it must be the version the programs report.
        EXPECT_EQ(ReadProfileString(pack, "APPLICATION", "version", ""), kVersion) << name.toStdString();
        // The message "<wj><file name> <wx>" needs the blank that the quotes of wj keep.
        EXPECT_TRUE(ReadProfileString(pack, "TISHI", "wj", "").endsWith(u' ')) << name.toStdString();
        // The batch-size message takes the number.
        EXPECT_TRUE(ReadProfileString(pack, "TISHI", "toomany", "").contains("%1")) << name.toStdString();
    }
}

// The English pack says what the English fallbacks say; every other pack translates the fallback texts
// (a few words are the same in some languages).
TEST(ShippedData, PacksTranslateTheFallbackTexts) {
    const QStringList sameWord = {"german.ini:JIEMIAN.start"};
    for (const QString& name : LanguageFileNames()) {
        const QString pack = test::BinFolder() + "/languages/" + name;
        for (const FallbackText& text : FallbackTexts()) {
            const QString value = ReadProfileString(pack, text.section, text.key, "");
            const QString where = name + ":" + text.section + "." + text.key;
            if (name == "english.ini") {
                if (text.key != "convertfailed") {
                    EXPECT_EQ(value, text.english) << where.toStdString();
                }
            } else if (!sameWord.contains(where)) {
                EXPECT_NE(value, text.english) << where.toStdString();
            }
        }
    }
}

TEST(ShippedData, PacksLoadThroughTheLoader) {
    test::ScopedExecutableFolder exe;
    ASSERT_TRUE(QDir().mkpath(exe.file("languages")));
    for (const QString& name : LanguageFileNames()) {
        ASSERT_TRUE(QFile::copy(test::BinFolder() + "/languages/" + name, exe.file("languages/" + name)));
    }
    LoadTexts("japanese.ini");
    EXPECT_EQ(Text(u"JIEMIAN", u"symtwj"), QString::fromUtf8("動画ファイル"));
    EXPECT_EQ(MainWindowTitle(), "Quarnix 0.1.0");
    LoadTexts("german.ini");
    EXPECT_EQ(ColumnHeader(3), QString::fromUtf8("Auflösung"));
    EXPECT_EQ(ColumnHeader(4), QString::fromUtf8("Videoqualität"));
    EXPECT_EQ(Text(u"TISHI", u"wj") + "clip.txt " + Text(u"TISHI", u"wx"),
              "Die Datei clip.txt kann nicht als Video gelesen werden.");
    LoadTexts("english.ini");
    EXPECT_EQ(Text(u"TISHI", u"wjwczg"), "of");
    EXPECT_EQ(LinkAddressUrl(Text(u"APPLICATION", u"url")),
              QUrl::fromLocalFile(exe.path() + "/help/index.html"));
}

// No pack is named: the first run takes the system's language.
TEST(ShippedData, SettingsFileLeavesTheLanguageToTheSystem) {
    const QString file = test::DataSourceFolder() + "/setting.ini";
    EXPECT_EQ(ReadProfileString(file, "LANGUAGE", "file", "none"), "none");
    EXPECT_EQ(ReadProfileString(file, "DIR", "open", ""), "1");
    for (int i = 1; i <= 6; ++i) {
        EXPECT_FALSE(ReadProfileString(file, "LANGUAGE", QString("name%1").arg(i), "").isEmpty()) << i;
    }
    EXPECT_EQ(ReadProfileString(file, "PATH", "name", "none"), "none");
}

} // namespace
} // namespace quarnix
