// Where the settings file and the shipped data are found: the installed layout (data in share/quarnix,
// settings in $XDG_CONFIG_HOME/quarnix made from the defaults), the portable layout (a writable
// setting.ini beside the executable) and settings that cannot be saved.
#include "SettingsTestSupport.h"
#include "platform/ExecutableFolder.h"
#include "settings/LanguageTexts.h"
#include "settings/Settings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUrl>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <optional>
#include <string>
#include <unistd.h>

namespace quarnix {
namespace {

using test::ReadBytes;
using test::WriteBytes;

const QByteArray kDefaults = "; defaults\n[LANGUAGE]\nfile=german.ini\nname1=English\n[DIR]\nopen=0\n";

// An environment variable set for the life of the object.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const QString& value) : m_name(name) {
        if (const char* old = std::getenv(name)) {
            m_old = old;
        }
        setenv(name, value.toLocal8Bit().constData(), 1);
    }
    ~ScopedEnv() {
        if (m_old) {
            setenv(m_name, m_old->c_str(), 1);
        } else {
            unsetenv(m_name);
        }
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* m_name;
    std::optional<std::string> m_old;
};

// What the code under test writes on stderr while the object lives.
class StderrCapture {
public:
    StderrCapture() : m_file(QDir(QString::fromStdString(m_dir.path().string())).filePath("stderr.txt")) {
        std::fflush(stderr);
        m_saved = dup(STDERR_FILENO);
        const int fd = open(m_file.toLocal8Bit().constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(fd, STDERR_FILENO);
        close(fd);
    }
    ~StderrCapture() { Restore(); }
    StderrCapture(const StderrCapture&) = delete;
    StderrCapture& operator=(const StderrCapture&) = delete;

    QString Text() {
        Restore();
        return QString::fromLocal8Bit(ReadBytes(m_file));
    }

private:
    void Restore() {
        if (m_saved >= 0) {
            std::fflush(stderr);
            dup2(m_saved, STDERR_FILENO);
            close(m_saved);
            m_saved = -1;
        }
    }
    test::ScopedTempDir m_dir;
    QString m_file;
    int m_saved = -1;
};

// An installed program in a temporary prefix: PREFIX/bin is the executable's folder, PREFIX/share/quarnix
// holds the defaults and a pack, and $XDG_CONFIG_HOME points into the temporary folder.
class InstalledLayout {
public:
    explicit InstalledLayout(const QString& configHome = QString())
        : m_config(configHome.isEmpty() ? Root() + "/config" : configHome) {
        EXPECT_TRUE(QDir().mkpath(Bin()));
        EXPECT_TRUE(QDir().mkpath(Share() + "/languages"));
        WriteBytes(Share() + "/setting.ini", kDefaults);
        WriteBytes(Share() + "/languages/german.ini", "[APPLICATION]\nname=Quarnix-de\nversion=9\n");
        SetExecutableFolderOverride(Bin(), ExecutableFolderMode::AsInstalled);
        ResetTexts();
        ResetUnsavedSettingsReport();
    }
    ~InstalledLayout() {
        SetExecutableFolderOverride(QString());
        ResetTexts();
    }
    InstalledLayout(const InstalledLayout&) = delete;
    InstalledLayout& operator=(const InstalledLayout&) = delete;

    QString Root() const { return QString::fromStdString(m_root.path().string()); }
    QString Bin() const { return Root() + "/prefix/bin"; }
    QString Share() const { return Root() + "/prefix/share/quarnix"; }
    QString UserFile() const { return m_config + "/quarnix/setting.ini"; }

private:
    test::ScopedTempDir m_root;
    QString m_config;
    ScopedEnv m_xdgConfig{"XDG_CONFIG_HOME", m_config};
};

TEST(SettingsLocation, InstalledProgramKeepsSettingsInTheUsersConfigFolder) {
    InstalledLayout installed;
    EXPECT_EQ(DataFolder(), QDir::toNativeSeparators(installed.Share()));
    EXPECT_EQ(SettingsPath(), installed.UserFile());
    EXPECT_FALSE(QFile::exists(installed.UserFile()));

    // The first read makes the user's file as a copy of the defaults.
    EXPECT_EQ(ReadLanguageFile(), "german.ini");
    EXPECT_EQ(ReadBytes(installed.UserFile()), kDefaults);
    EXPECT_FALSE(ReadOpenFolderWhenDone());

    // Writes go to the user's file only; the shipped defaults stay as they were.
    EXPECT_TRUE(WriteOutputFolder("/videos/out"));
    EXPECT_TRUE(WriteOpenFolderWhenDone(true));
    EXPECT_EQ(ReadOutputFolder(), "/videos/out");
    EXPECT_EQ(ReadBytes(installed.Share() + "/setting.ini"), kDefaults);
    EXPECT_TRUE(QFileInfo(installed.UserFile()).permissions().testFlag(QFileDevice::WriteOwner));
    EXPECT_FALSE(QFile::exists(installed.Bin() + "/setting.ini"));

    // The packs and the help page come from the data folder.
    LoadTexts(ReadLanguageFile());
    EXPECT_EQ(MainWindowTitle(), "Quarnix-de 9");
    EXPECT_EQ(LinkAddressUrl("help/index.html"), QUrl::fromLocalFile(installed.Share() + "/help/index.html"));
}

TEST(SettingsLocation, ExistingUserSettingsAreNeverReplacedByTheDefaults) {
    InstalledLayout installed;
    ASSERT_TRUE(QDir().mkpath(QFileInfo(installed.UserFile()).absolutePath()));
    WriteBytes(installed.UserFile(), "[LANGUAGE]\nfile=french.ini\n");
    EXPECT_EQ(ReadLanguageFile(), "french.ini");
    EXPECT_TRUE(WriteOutputFolder("/x"));
    EXPECT_EQ(ReadBytes(installed.UserFile()), "[LANGUAGE]\nfile=french.ini\n[PATH]\nname=/x\n");
}

TEST(SettingsLocation, WritableSettingsBesideTheExecutableKeepTheProgramPortable) {
    InstalledLayout installed;
    WriteBytes(installed.Bin() + "/setting.ini", "[LANGUAGE]\nfile=english.ini\n");
    ASSERT_TRUE(QDir().mkpath(installed.Bin() + "/languages"));
    EXPECT_EQ(SettingsPath(), QDir::toNativeSeparators(installed.Bin() + "/setting.ini"));
    EXPECT_EQ(DataFolder(), QDir::toNativeSeparators(installed.Bin()));
    EXPECT_EQ(ReadLanguageFile(), "english.ini");
    EXPECT_TRUE(WriteOutputFolder("/portable"));
    EXPECT_EQ(test::ReadBytes(installed.Bin() + "/setting.ini"),
              "[LANGUAGE]\nfile=english.ini\n[PATH]\nname=/portable\n");
    EXPECT_FALSE(QFile::exists(installed.UserFile()));
}

TEST(SettingsLocation, SettingsThatCannotBeSavedAreReportedOnce) {
    // A configuration folder that cannot be made (a file stands where its parent should be): reads fall
    // back to the shipped defaults, writes fail, and one line on stderr says so.
    test::ScopedTempDir blockerDir;
    const QString blocker = QString::fromStdString(blockerDir.file("not-a-folder"));
    WriteBytes(blocker, "x");
    InstalledLayout installed(blocker + "/config");
    StderrCapture capture;
    EXPECT_EQ(ReadLanguageFile(), "german.ini");
    EXPECT_FALSE(WriteOutputFolder("/lost"));
    EXPECT_FALSE(WriteOpenFolderWhenDone(true));
    const QString text = capture.Text();
    EXPECT_EQ(text.count("settings cannot be saved"), 1) << text.toStdString();
    EXPECT_TRUE(text.contains(installed.UserFile())) << text.toStdString();
    EXPECT_EQ(ReadBytes(installed.Share() + "/setting.ini"), kDefaults);
}

TEST(SettingsLocation, AValueTheFileCannotHoldIsNoSavingProblem) {
    InstalledLayout installed;
    StderrCapture capture;
    EXPECT_FALSE(WriteOutputFolder("two\nlines"));
    EXPECT_TRUE(capture.Text().isEmpty());
}

} // namespace
} // namespace quarnix
