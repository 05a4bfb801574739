// The settings file and the language packs under damage, at the level the windows use them: garbage, huge
// files, a folder where the file should be, a read-only program folder. Reads give the defaults, nothing
// crashes, and no byte the user had is lost.
#include "SettingsTestSupport.h"
#include "settings/LanguageTexts.h"
#include "settings/Settings.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <filesystem>

namespace quarnix {
namespace {

using test::ReadBytes;
using test::ScopedExecutableFolder;
using test::WriteBytes;

// Bytes of every value in a fixed, irregular order.
QByteArray Garbage(int size, unsigned seed) {
    QByteArray bytes(size, '\0');
    unsigned state = seed;
    for (char& byte : bytes) {
        state = state * 1103515245u + 12345u;
        byte = static_cast<char>(state >> 16);
    }
    return bytes;
}

void ExpectDefaults(const MainWindowSettings& settings) {
    EXPECT_EQ(settings.languageNames, QStringList(6, QString()));
    EXPECT_EQ(settings.languageFile, "");
    EXPECT_EQ(settings.outputFolder, "");
    EXPECT_TRUE(settings.openFolderWhenDone);
}

TEST(SettingsDamage, DamagedSettingsFilesGiveTheDefaultsAndKeepTheirBytes) {
    QByteArray manySections;
    for (int i = 0; i < 200000; ++i) {
        manySections += "[S" + QByteArray::number(i) + "]\nk=v\n";
    }
    const struct {
        const char* what;
        QByteArray bytes;
    } cases[] = {
        {"garbage", Garbage(1 << 20, 1)},
        {"NUL bytes", QByteArray(4096, '\0')},
        {"UTF-16 mark and an odd byte", QByteArray("\xFF\xFE[\0P\0A\0T\0H\0]\0\n", 15)},
        {"section header never closed", "[PATH\nname=/somewhere\n[DIR\nopen=0\n"},
        {"200000 sections", manySections},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ScopedExecutableFolder exe;
        WriteBytes(SettingsPath(), c.bytes);
        ExpectDefaults(ReadMainWindowSettings());
        LoadTexts(ReadLanguageFile());
        EXPECT_EQ(ReadBytes(SettingsPath()), c.bytes);
    }

    // The real keys after a huge run of other sections are still found, and a write keeps all of it.
    ScopedExecutableFolder exe;
    WriteBytes(SettingsPath(), manySections + "[PATH]\nname=/videos\n");
    EXPECT_EQ(ReadOutputFolder(), "/videos");
    EXPECT_TRUE(WriteOpenFolderWhenDone(false));
    EXPECT_EQ(ReadBytes(SettingsPath()), manySections + "[PATH]\nname=/videos\n[DIR]\nopen=0\n");
}

TEST(SettingsDamage, FoldersWhereTheFilesShouldBe) {
    ScopedExecutableFolder exe;
    ASSERT_TRUE(QDir().mkpath(SettingsPath()));
    WriteBytes(SettingsPath() + "/keep.txt", "mine");
    ASSERT_TRUE(QDir().mkpath(exe.file("languages/english.ini")));

    ExpectDefaults(ReadMainWindowSettings());
    EXPECT_FALSE(WriteOutputFolder("/videos"));
    EXPECT_FALSE(WriteOpenFolderWhenDone(false));
    EXPECT_EQ(ReadBytes(SettingsPath() + "/keep.txt"), "mine");
    LoadTexts("english.ini");
    for (const auto& [section, key] : LoadedTextKeys()) {
        EXPECT_EQ(Text(section, key), "") << section.toStdString() << key.toStdString();
    }
}

TEST(SettingsDamage, DamagedLanguagePacksLeaveTextsEmptyOrCut) {
    ScopedExecutableFolder exe;
    ASSERT_TRUE(QDir().mkpath(exe.file("languages")));
    WriteBytes(exe.file("languages/garbage.ini"), Garbage(1 << 20, 2));
    LoadTexts("garbage.ini");
    for (const auto& [section, key] : LoadedTextKeys()) {
        EXPECT_LE(Text(section, key).size(), 999);
    }

    // A value of a million characters is cut, the keys after it still load.
    WriteBytes(exe.file("languages/huge.ini"),
               "[APPLICATION]\nname=" + QByteArray(1000000, 'n') + "\nversion=1.0\n");
    LoadTexts("huge.ini");
    EXPECT_EQ(Text(u"APPLICATION", u"name"), QString(999, u'n'));
    EXPECT_EQ(Text(u"APPLICATION", u"version"), "1.0");
}

// Root may write anywhere, so the writes run as an unprivileged user.
TEST(SettingsDamage, ReadOnlyProgramFolderLosesWritesButNoBytes) {
    ScopedExecutableFolder exe;
    namespace fs = std::filesystem;
    const fs::path folder = exe.path().toStdString();
    const QByteArray before("; mine\n[LANGUAGE]\nfile=english.ini\n[PATH]\nname=/old\n");
    WriteBytes(SettingsPath(), before);
    fs::permissions(SettingsPath().toStdString(),
                    fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                                fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec);

    EXPECT_FALSE(test::RunUnprivileged([] {
        return WriteOutputFolder("/new") || WriteOpenFolderWhenDone(false) || WriteSetting("JOIN", "a", "1");
    }));
    EXPECT_EQ(ReadBytes(SettingsPath()), before);
    EXPECT_EQ(QDir(exe.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{"setting.ini"});
    EXPECT_EQ(ReadOutputFolder(), "/old");
    fs::permissions(folder, fs::perms::owner_all);
}

} // namespace
} // namespace quarnix
