#include "SettingsTestSupport.h"
#include "settings/Settings.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

namespace quarnix {
namespace {

using test::ReadBytes;
using test::ScopedExecutableFolder;
using test::WriteBytes;

TEST(Settings, PathIsBesideTheExecutable) {
    ScopedExecutableFolder exe;
    EXPECT_EQ(SettingsPath(), exe.path() + QDir::separator() + "setting.ini");
}

TEST(Settings, FirstStartWithoutAFileGivesTheDefaults) {
    ScopedExecutableFolder exe;
    const MainWindowSettings settings = ReadMainWindowSettings();
    EXPECT_EQ(settings.languageNames, QStringList(6, QString()));
    EXPECT_EQ(settings.languageFile, "");
    EXPECT_EQ(settings.outputFolder, "");
    EXPECT_TRUE(settings.openFolderWhenDone);
    EXPECT_FALSE(QFile::exists(SettingsPath()));
}

TEST(Settings, ReadsTheKeysOfTheMainWindow) {
    ScopedExecutableFolder exe;
    WriteBytes(SettingsPath(),
               "[LANGUAGE]\nfile=german.ini\nname1=English\nname3=Deutsch\nname6=\xE6\x97\xA5\n"
               "[PATH]\nname=/home/u/out\n[DIR]\nopen=0\n");
    const MainWindowSettings settings = ReadMainWindowSettings();
    EXPECT_EQ(settings.languageNames,
              (QStringList{"English", "", "Deutsch", "", "", QString::fromUtf8("\xE6\x97\xA5")}));
    EXPECT_EQ(settings.languageFile, "german.ini");
    EXPECT_EQ(settings.outputFolder, "/home/u/out");
    EXPECT_FALSE(settings.openFolderWhenDone);
}

TEST(Settings, OnlyExactlyOneOpensTheFolder) {
    ScopedExecutableFolder exe;
    const std::pair<const char*, bool> cases[] = {{"1", true},  {" 1 ", true},  {"\"1\"", true},
                                                  {"0", false}, {"yes", false}, {"01", false},
                                                  {"", false},  {"true", false}};
    for (const auto& [value, expected] : cases) {
        WriteBytes(SettingsPath(), QByteArray("[DIR]\nopen=") + value + "\n");
        EXPECT_EQ(ReadOpenFolderWhenDone(), expected) << value;
    }
}

TEST(Settings, WritersStoreOneKeyEach) {
    ScopedExecutableFolder exe;
    WriteBytes(SettingsPath(), "[LANGUAGE]\nfile=english.ini\n[DIR]\nopen=1\n");
    EXPECT_TRUE(WriteOpenFolderWhenDone(false));
    EXPECT_TRUE(WriteOutputFolder("/data/rotated"));
    EXPECT_TRUE(WriteSettingInt("JOIN", "size", -1));
    EXPECT_EQ(ReadBytes(SettingsPath()),
              QByteArray("[LANGUAGE]\nfile=english.ini\n[DIR]\nopen=0\n[PATH]\nname=/data/rotated\n"
                         "[JOIN]\nsize=-1\n"));
    EXPECT_FALSE(ReadOpenFolderWhenDone());
    EXPECT_EQ(ReadOutputFolder(), "/data/rotated");
    EXPECT_EQ(ReadLanguageFile(), "english.ini");
    EXPECT_EQ(ReadSettingInt("JOIN", "size", 0), -1);

    EXPECT_TRUE(WriteLanguageFile("french.ini"));
    EXPECT_TRUE(WriteAddFolder("/media/card/DCIM"));
    EXPECT_TRUE(WriteWindowSize(QSize(900, 640)));
    EXPECT_EQ(ReadLanguageFile(), "french.ini");
    EXPECT_EQ(ReadAddFolder(), "/media/card/DCIM");
    EXPECT_EQ(ReadWindowSize(), QSize(900, 640));
    EXPECT_TRUE(ReadBytes(SettingsPath()).endsWith("[WINDOW]\nwidth=900\nheight=640\n"));
}

TEST(Settings, AWindowSizeNeedsBothPositiveSides) {
    ScopedExecutableFolder exe;
    const std::pair<const char*, QSize> cases[] = {{"", QSize()},
                                                   {"[WINDOW]\nwidth=800\n", QSize()},
                                                   {"[WINDOW]\nwidth=800\nheight=0\n", QSize()},
                                                   {"[WINDOW]\nwidth=-5\nheight=600\n", QSize()},
                                                   {"[WINDOW]\nwidth=800px\nheight=600\n", QSize(800, 600)}};
    for (const auto& [text, expected] : cases) {
        WriteBytes(SettingsPath(), text);
        EXPECT_EQ(ReadWindowSize(), expected) << text;
    }
}

TEST(Settings, TheShippedFileNamesThePacksButLeavesTheChoiceToTheSystem) {
    ScopedExecutableFolder exe;
    ASSERT_TRUE(QFile::copy(test::DataSourceFolder() + "/setting.ini", SettingsPath()));
    const MainWindowSettings settings = ReadMainWindowSettings();
    EXPECT_EQ(settings.languageFile, "");
    EXPECT_EQ(settings.languageNames,
              (QStringList{"English", QString::fromUtf8("Español"), "Deutsch", QString::fromUtf8("Français"),
                           "Italiano", QString::fromUtf8("日本語")}));
    EXPECT_TRUE(settings.openFolderWhenDone);
    EXPECT_EQ(settings.outputFolder, "");
}

} // namespace
} // namespace quarnix
