#include "SettingsTestSupport.h"
#include "settings/LanguageTexts.h"
#include "settings/Settings.h"

#include <QDir>

#include <gtest/gtest.h>

namespace quarnix {
namespace {

using test::ScopedExecutableFolder;
using test::WriteBytes;

// A pack in which every loaded key holds "<section>.<key>".
QByteArray FullPack(const QString& skipSection = QString(), const QString& skipKey = QString()) {
    QByteArray text;
    QString section;
    for (const auto& [keySection, key] : LoadedTextKeys()) {
        if (keySection != section) {
            section = keySection;
            text += "[" + section.toUtf8() + "]\n";
        }
        if (keySection == skipSection && key == skipKey) {
            continue;
        }
        text += key.toUtf8() + "=" + keySection.toUtf8() + "." + key.toUtf8() + "\n";
    }
    return text;
}

void WritePack(const ScopedExecutableFolder& exe, const QString& name, const QByteArray& bytes) {
    ASSERT_TRUE(QDir().mkpath(exe.file("languages")));
    WriteBytes(exe.file("languages/" + name), bytes);
}

TEST(LanguageTexts, SlotsAreEmptyAtStartButColumnFour) {
    ScopedExecutableFolder exe;
    for (const auto& [section, key] : LoadedTextKeys()) {
        EXPECT_EQ(Text(section, key), "") << section.toStdString() << " " << key.toStdString();
    }
    EXPECT_EQ(ColumnHeader(4), "Video Quality");
    EXPECT_EQ(ColumnHeader(7), "profile");
    EXPECT_EQ(ColumnHeader(0), "");
    EXPECT_EQ(MainWindowTitle(), " ");
}

TEST(LanguageTexts, LoaderReadsEveryKeyInItsOrder) {
    const auto keys = LoadedTextKeys();
    ASSERT_EQ(keys.size(), 43);
    EXPECT_EQ(keys.front(), (std::pair<QString, QString>{"APPLICATION", "name"}));
    EXPECT_EQ(keys[3], (std::pair<QString, QString>{"TISHI", "wj"}));
    EXPECT_EQ(keys[18], (std::pair<QString, QString>{"JIEMIAN", "yy"}));
    EXPECT_EQ(keys[34], (std::pair<QString, QString>{"HINT", "hbcygwj"}));
    EXPECT_EQ(keys.back(), (std::pair<QString, QString>{"HINT", "zjsrsjd"}));

    ScopedExecutableFolder exe;
    WritePack(exe, "english.ini", FullPack());
    LoadTexts("english.ini");
    for (const auto& [section, key] : keys) {
        EXPECT_EQ(Text(section, key), section + "." + key);
    }
    EXPECT_EQ(MainWindowTitle(), "APPLICATION.name APPLICATION.version");
    const QStringList headers = {"JIEMIAN.ywj",   "JIEMIAN.spgs", "JIEMIAN.spcd", "JIEMIAN.spdx",
                                 "Video Quality", "JIEMIAN.zl",   "JIEMIAN.zt",   "profile"};
    for (int column = 0; column < 8; ++column) {
        EXPECT_EQ(ColumnHeader(column), headers[column]) << column;
    }
    EXPECT_EQ(ColumnHeader(8), "");
    // Not loader keys: read by the progress window or by set-up itself.
    EXPECT_FALSE(IsLoadedText(u"JIEMIAN", u"ywjyy"));
    EXPECT_FALSE(IsLoadedText(u"JIEMIAN", u"tz"));
    EXPECT_FALSE(IsLoadedText(u"tishi", u"sb")); // keys are spelled as the pack spells them
    EXPECT_EQ(Text(u"tishi", u"sb"), "");
}

TEST(LanguageTexts, MissingPackEmptiesEveryText) {
    ScopedExecutableFolder exe;
    WritePack(exe, "english.ini", FullPack());
    LoadTexts("english.ini");
    ASSERT_EQ(Text(u"TISHI", u"sb"), "TISHI.sb");

    for (const QString& name : {QString("german.ini"), QString()}) { // no such pack; the folder itself
        LoadTexts(name);
        for (const auto& [section, key] : LoadedTextKeys()) {
            EXPECT_EQ(Text(section, key), "")
                << name.toStdString() << section.toStdString() << key.toStdString();
        }
        EXPECT_EQ(MainWindowTitle(), " ");
        EXPECT_EQ(ColumnHeader(4), "Video Quality");
    }
}

TEST(LanguageTexts, MissingKeyEmptiesOnlyItsText) {
    ScopedExecutableFolder exe;
    WritePack(exe, "english.ini", FullPack("APPLICATION", "version"));
    LoadTexts("english.ini");
    EXPECT_EQ(Text(u"APPLICATION", u"version"), "");
    EXPECT_EQ(Text(u"APPLICATION", u"url"), "APPLICATION.url");
    EXPECT_EQ(MainWindowTitle(), "APPLICATION.name ");
}

TEST(LanguageTexts, AnyPackNameIsLoaded) {
    ScopedExecutableFolder exe;
    WritePack(exe, "klingon.ini", "[TISHI]\nsb=Qagh\n[JIEMIAN]\nzt=" + QByteArray(1200, 'z') + "\n");
    LoadTexts("klingon.ini");
    EXPECT_EQ(Text(u"TISHI", u"sb"), "Qagh");
    EXPECT_EQ(ColumnHeader(6), QString(999, u'z'));
    EXPECT_EQ(LanguagePosition("klingon.ini"), -1);
    EXPECT_EQ(LanguagePosition("japanese.ini"), 5);
    EXPECT_EQ(LanguagePosition("English.INI"), 0);
}

TEST(LanguageTexts, PackPathIsBesideTheExecutable) {
    ScopedExecutableFolder exe;
    const QString sep = QDir::separator();
    EXPECT_EQ(LanguagePackPath("french.ini"), exe.path() + sep + "languages" + sep + "french.ini");
    EXPECT_EQ(LanguagePackPath(""), exe.path() + sep + "languages" + sep);
}

TEST(LanguageTexts, ProgressWindowReadsTheLanguageAfresh) {
    ScopedExecutableFolder exe;
    WritePack(exe, "english.ini",
              "[APPLICATION]\nname=Quarnix\n[JIEMIAN]\ndqwj=File:\ntz=Stop\nzgwj=Total:\n");
    WritePack(exe, "german.ini",
              "[APPLICATION]\nname=Quarnix\n[JIEMIAN]\ndqwj=Datei:\ntz=Stopp\nopenfolder=Ordner öffnen\n");
    // No settings file yet: the pack of the system's language.
    EXPECT_EQ(ReadProgressTexts().currentFileCaption,
              ReadPackText(LanguageFileForLocale(QLocale::system()), "JIEMIAN", "dqwj"));

    WriteBytes(SettingsPath(), "[LANGUAGE]\nfile=english.ini\n");
    ProgressTexts texts = ReadProgressTexts();
    EXPECT_EQ(texts.windowTitle, "Quarnix");
    EXPECT_EQ(texts.currentFileCaption, "File:");
    EXPECT_EQ(texts.stopButton, "Stop");
    EXPECT_EQ(texts.batchCaption, "Total:");
    EXPECT_EQ(texts.openFolderBox, "Open directory when finished"); // missing key: the English text

    ASSERT_TRUE(WriteSetting("LANGUAGE", "file", "german.ini"));
    texts = ReadProgressTexts();
    EXPECT_EQ(texts.currentFileCaption, "Datei:");
    EXPECT_EQ(texts.stopButton, "Stopp");
    EXPECT_EQ(texts.batchCaption, ""); // missing key
    EXPECT_EQ(texts.openFolderBox, QString::fromUtf8("Ordner öffnen"));
    EXPECT_EQ(texts.fileBarName, "Progress of the current file");
    EXPECT_EQ(Text(u"APPLICATION", u"name"), ""); // the targetSlots are not touched
}

TEST(LanguageTexts, HelpAddress) {
    ScopedExecutableFolder exe;
    EXPECT_EQ(LinkAddressUrl("help/index.html"), QUrl::fromLocalFile(exe.path() + "/help/index.html"));
    QUrl withFragment = QUrl::fromLocalFile(exe.path() + "/help/index.html");
    withFragment.setFragment("settings");
    EXPECT_EQ(LinkAddressUrl("help/index.html#settings"), withFragment);
    EXPECT_EQ(LinkAddressUrl("https://example.org/quarnix"), QUrl("https://example.org/quarnix"));
    EXPECT_EQ(LinkAddressUrl("/usr/share/doc/quarnix/index.html"),
              QUrl::fromLocalFile("/usr/share/doc/quarnix/index.html"));
    EXPECT_TRUE(LinkAddressUrl("").isEmpty());
}

// The texts that packs did not always hold: the pack's text when it has the key, else the English text.
TEST(LanguageTexts, NewerTextsFallBackToEnglishOneByOne) {
    ScopedExecutableFolder exe;
    EXPECT_EQ(Text(u"JIEMIAN", u"add"), "Add"); // before any load
    WritePack(exe, "german.ini", "[JIEMIAN]\nadd=Hinzuf\xC3\xBCgen\n[TISHI]\nselectfile=Erst eine Datei!\n");
    LoadTexts("german.ini");
    EXPECT_EQ(Text(u"JIEMIAN", u"add"), QString::fromUtf8("Hinzufügen"));
    EXPECT_EQ(Text(u"TISHI", u"selectfile"), "Erst eine Datei!");
    EXPECT_EQ(Text(u"JIEMIAN", u"remove"), "Remove");
    EXPECT_EQ(Text(u"JIEMIAN", u"zt"), ""); // a key of the loader's list has no fallback
    EXPECT_EQ(ColumnHeader(4), "Video Quality");
    EXPECT_EQ(Text(u"HINT", u"removeall"), "Remove All Files");
    for (const FallbackText& text : FallbackTexts()) {
        EXPECT_FALSE(text.english.isEmpty()) << text.key.toStdString();
        EXPECT_FALSE(IsLoadedText(text.section, text.key)) << text.key.toStdString();
    }
    LoadTexts("missing.ini");
    EXPECT_EQ(Text(u"JIEMIAN", u"add"), "Add");
}

// Why a file failed reads in the pack's words; what the pack lacks stays as the engine said it.
TEST(LanguageTexts, ReasonsInThePacksWords) {
    ScopedExecutableFolder exe;
    WritePack(exe, "german.ini",
              "[REASON]\ninputgone=die Eingabedatei existiert nicht mehr\n"
              "writtenas=als %1 geschrieben: %2 kann keine Drehung speichern\n"
              "leftout=%1-Datenstrom %2 weggelassen: %3\n"
              "leftrefused=der Container %1 nimmt ihn nicht auf\n"
              "cutshort=die Eingabe ist abgeschnitten\n"
              "keptmatroska=als Matroska behalten; \"Bilder drehen\" spielt überall aufrecht\n");
    LoadTexts("german.ini");
    // A note of several sentences, each in the pack's words.
    EXPECT_EQ(TranslatedReason("written as MKV: AVI cannot carry a rotation; data stream 2 left out: the MKV "
                               "container does not take it; the input is cut short: the output holds the "
                               "part of it that is there"),
              "als MKV geschrieben: AVI kann keine Drehung speichern; data-Datenstrom 2 weggelassen: der "
              "Container MKV nimmt ihn nicht auf; die Eingabe ist abgeschnitten");
    EXPECT_EQ(TranslatedReason("the input no longer exists"), "die Eingabedatei existiert nicht mehr");
    // A text that holds "; " itself is one sentence, also among others.
    EXPECT_EQ(
        TranslatedReason("kept as Matroska: VLC 3, mpv 0.35 and GNOME Videos 43 show it unrotated; \"turn "
                         "the pictures\" plays upright everywhere; the input is cut short: the output "
                         "holds the part of it that is there"),
        QString::fromUtf8("als Matroska behalten; \"Bilder drehen\" spielt überall aufrecht; die Eingabe "
                          "ist abgeschnitten"));
    EXPECT_EQ(TranslatedReason("written as MOV: AVI cannot carry a rotation"),
              "als MOV geschrieben: AVI kann keine Drehung speichern");
    EXPECT_EQ(TranslatedReason("the disk is full"), "the disk is full");
    EXPECT_EQ(TranslatedReason("something the engine may say one day"),
              "something the engine may say one day");
}

TEST(LanguageTexts, PackOfTheSystemLanguageAndOfQtsTranslations) {
    const std::pair<const char*, const char*> cases[] = {
        {"de_DE", "german.ini"},  {"de_AT", "german.ini"},  {"fr_CA", "french.ini"},
        {"es_MX", "spanish.ini"}, {"it_IT", "italian.ini"}, {"ja_JP", "japanese.ini"},
        {"en_GB", "english.ini"}, {"zh_CN", "english.ini"}, {"C", "english.ini"},
    };
    for (const auto& [locale, pack] : cases) {
        EXPECT_EQ(LanguageFileForLocale(QLocale(locale)), pack) << locale;
    }
    EXPECT_EQ(QtLanguageOfPack("german.ini"), "de");
    EXPECT_EQ(QtLanguageOfPack("Japanese.INI"), "ja");
    EXPECT_EQ(QtLanguageOfPack("klingon.ini"), "");

    ScopedExecutableFolder exe;
    EXPECT_EQ(CurrentLanguageFile(), LanguageFileForLocale(QLocale::system()));
    ASSERT_TRUE(WriteLanguageFile("italian.ini"));
    EXPECT_EQ(CurrentLanguageFile(), "italian.ini");
}

} // namespace
} // namespace quarnix
