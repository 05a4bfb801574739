#include "settings/Settings.h"

#include "platform/ExecutableFolder.h"
#include "settings/ProfileFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryFile>

#include <cstdio>

namespace quarnix {

namespace {

QString SettingsFileName() {
    return QStringLiteral("setting.ini");
}

// Whether a file there could be replaced by the profile writer (it writes a new file beside the old one
// and renames it over it, so the folder must be writable too).
bool CanSaveAt(const QString& path) {
    const QFileInfo file(path);
    const QFileInfo folder(file.absolutePath());
    return folder.isDir() && folder.isWritable() && (!file.exists() || (file.isFile() && file.isWritable()));
}

bool& UnsavedReported() {
    static bool reported = false;
    return reported;
}

// One message per process, so that a read-only settings file does not flood the terminal.
void ReportUnsaved(const QString& path, const char* why) {
    if (UnsavedReported()) {
        return;
    }
    UnsavedReported() = true;
    std::fprintf(stderr,
                 "quarnix: settings cannot be saved to %s (%s); changes made now are lost when the "
                 "program ends\n",
                 qPrintable(QDir::toNativeSeparators(path)), why);
}

// Makes the user's settings file as a copy of the shipped defaults when it does not exist yet. The copy
// is written under a private name and renamed without replacing, so two programs starting at once
// cannot lose a file that one of them made. Returns whether the file exists afterwards.
bool MakeFromDefaults(const QString& path, const QString& defaults) {
    if (QFileInfo::exists(path)) {
        return true;
    }
    const QString folder = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(folder)) {
        ReportUnsaved(path, "its folder cannot be made");
        return false;
    }
    QFile source(defaults);
    if (!source.open(QIODevice::ReadOnly)) {
        return false; // no defaults: the first write makes the file with the one key it writes
    }
    const QByteArray bytes = source.readAll();
    QTemporaryFile copy(QDir(folder).filePath(QStringLiteral(".setting.ini.XXXXXX")));
    if (!copy.open() || copy.write(bytes) != bytes.size() || !copy.flush() ||
        !copy.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup |
                             QFileDevice::ReadOther)) {
        ReportUnsaved(path, "the defaults cannot be copied there");
        return false;
    }
    // QFile::rename never replaces an existing file.
    const QString copyName = copy.fileName();
    copy.close();
    if (QFile::rename(copyName, path)) {
        copy.setAutoRemove(false);
        return true;
    }
    if (!QFileInfo::exists(path)) {
        ReportUnsaved(path, "the defaults cannot be copied there");
        return false;
    }
    return true;
}

// The file that reads use: the settings file, made from the defaults on first use; the defaults
// themselves while the settings file cannot be made.
QString FileToRead() {
    const QString path = SettingsPath();
    const QString defaults = DefaultSettingsPath();
    if (path == defaults || MakeFromDefaults(path, defaults)) {
        return path;
    }
    return defaults;
}

} // namespace

void ResetUnsavedSettingsReport() {
    UnsavedReported() = false;
}

QString SettingsPath() {
    const QString beside = ExecutableFolder() + QDir::separator() + SettingsFileName();
    if (PortableOverride() || (QFileInfo(beside).isFile() && CanSaveAt(beside))) {
        return beside;
    }
    return UserSettingsPath();
}

QString DefaultSettingsPath() {
    return DataFolder() + QDir::separator() + SettingsFileName();
}

QString UserSettingsPath() {
    return QDir::toNativeSeparators(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
                                    QStringLiteral("/quarnix/") + SettingsFileName());
}

QString ReadSetting(const QString& section, const QString& key, const QString& defaultValue) {
    return ReadProfileString(FileToRead(), section, key, defaultValue);
}

int ReadSettingInt(const QString& section, const QString& key, int defaultValue) {
    return ReadProfileInt(FileToRead(), section, key, defaultValue);
}

bool WriteSetting(const QString& section, const QString& key, const QString& value) {
    const QString path = SettingsPath();
    if (path != DefaultSettingsPath()) {
        MakeFromDefaults(path, DefaultSettingsPath());
    }
    if (WriteProfileString(path, section, key, value)) {
        return true;
    }
    // A value the file cannot hold (a line break) is refused by the writer and is no saving problem.
    if (!CanSaveAt(path)) {
        ReportUnsaved(path, "the file or its folder is not writable");
    } else if (!value.contains(u'\n') && !value.contains(u'\r') && QFileInfo(path).isFile()) {
        ReportUnsaved(path, "writing failed");
    }
    return false;
}

bool WriteSettingInt(const QString& section, const QString& key, int value) {
    return WriteSetting(section, key, QString::number(value));
}

MainWindowSettings ReadMainWindowSettings() {
    MainWindowSettings settings;
    for (int i = 1; i <= 6; ++i) {
        settings.languageNames.append(
            ReadSetting(setting::kLanguageSection, QStringLiteral("name%1").arg(i), QString()));
    }
    settings.languageFile = ReadLanguageFile();
    settings.outputFolder = ReadOutputFolder();
    settings.openFolderWhenDone = ReadOpenFolderWhenDone();
    return settings;
}

QString ReadLanguageFile() {
    return ReadSetting(setting::kLanguageSection, setting::kLanguageFileKey, QString());
}

bool ReadOpenFolderWhenDone() {
    return ReadSetting(setting::kDirSection, setting::kDirOpenKey, QStringLiteral("1")) == u"1";
}

bool ReadKeepMatroska() {
    return ReadSetting(setting::kRotateSection, setting::kRotateKeepMatroskaKey, QStringLiteral("0")) == u"1";
}

bool WriteKeepMatroska(bool keep) {
    return WriteSetting(setting::kRotateSection, setting::kRotateKeepMatroskaKey,
                        keep ? QStringLiteral("1") : QStringLiteral("0"));
}

QString ReadOutputFolder() {
    return ReadSetting(setting::kPathSection, setting::kPathNameKey, QString());
}

bool WriteOutputFolder(const QString& folder) {
    return WriteSetting(setting::kPathSection, setting::kPathNameKey, folder);
}

bool WriteOpenFolderWhenDone(bool open) {
    return WriteSetting(setting::kDirSection, setting::kDirOpenKey,
                        open ? QStringLiteral("1") : QStringLiteral("0"));
}

bool WriteLanguageFile(const QString& file) {
    return WriteSetting(setting::kLanguageSection, setting::kLanguageFileKey, file);
}

QString ReadAddFolder() {
    return ReadSetting(setting::kPathSection, setting::kPathAddKey, QString());
}

bool WriteAddFolder(const QString& folder) {
    return WriteSetting(setting::kPathSection, setting::kPathAddKey, folder);
}

QSize ReadWindowSize() {
    const int width = ReadSettingInt(setting::kWindowSection, setting::kWindowWidthKey, 0);
    const int height = ReadSettingInt(setting::kWindowSection, setting::kWindowHeightKey, 0);
    return width > 0 && height > 0 ? QSize(width, height) : QSize();
}

bool WriteWindowSize(const QSize& size) {
    return WriteSettingInt(setting::kWindowSection, setting::kWindowWidthKey, size.width()) &&
           WriteSettingInt(setting::kWindowSection, setting::kWindowHeightKey, size.height());
}

} // namespace quarnix
