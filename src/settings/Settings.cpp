#include "Settings.h"

#include "ExecutableFolder.h"
#include "ProfileFile.h"

#include <QDir>

namespace quarnix {

QString SettingsPath() {
    return ExecutableFolder() + QDir::separator() + QStringLiteral("setting.ini");
}

QString ReadSetting(const QString& section, const QString& key, const QString& defaultValue) {
    return ReadProfileString(SettingsPath(), section, key, defaultValue);
}

int ReadSettingInt(const QString& section, const QString& key, int defaultValue) {
    return ReadProfileInt(SettingsPath(), section, key, defaultValue);
}

bool WriteSetting(const QString& section, const QString& key, const QString& value) {
    return WriteProfileString(SettingsPath(), section, key, value);
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

} // namespace quarnix
