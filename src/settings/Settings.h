// The settings file setting.ini beside the executable: its path, its keys with their
// defaults, and the reads and writes in the orders the program's windows use them. There is no settings object: every
// call builds the path afresh and opens the file, as the program's readers and writers do.
//
// Tests point the executable folder elsewhere with SetExecutableFolderOverride (ExecutableFolder.h);
// they never touch build/bin/setting.ini.
#pragma once

#include <QString>
#include <QStringList>

namespace quarnix {

// Executable folder + separator + "setting.ini".
QString SettingsPath();

// The keys, spelled as the file spells them.
namespace setting {
inline constexpr char kLanguageSection[] = "LANGUAGE"; // file, name1 ... name6
inline constexpr char kLanguageFileKey[] = "file";
inline constexpr char kPathSection[] = "PATH";
inline constexpr char kPathNameKey[] = "name";
inline constexpr char kDirSection[] = "DIR";
inline constexpr char kDirOpenKey[] = "open";
inline constexpr char kJoinSection[] = "JOIN"; // preset positions, see OutputPresets.h
} // namespace setting

// Generic access to setting.ini with the profile semantics of ProfileFile.h.
QString ReadSetting(const QString& section, const QString& key, const QString& defaultValue);
int ReadSettingInt(const QString& section, const QString& key, int defaultValue);
// False when the write was lost (for example a read-only program folder); callers may ignore it.
bool WriteSetting(const QString& section, const QString& key, const QString& value);
bool WriteSettingInt(const QString& section, const QString& key, int value); // "%d"

// What the main window reads at set-up, in this order:
// LANGUAGE name1 ... name6, LANGUAGE file, PATH name, DIR open.
struct MainWindowSettings {
    QStringList languageNames;      // six display names (name1 ... name6), "" when absent
    QString languageFile;           // LANGUAGE file, "" when absent
    QString outputFolder;           // PATH name, "" when absent
    bool openFolderWhenDone = true; // DIR open is exactly "1" (default "1")
};
MainWindowSettings ReadMainWindowSettings();

// Single keys, for the readers that need only one (progress window, Browse).
QString ReadLanguageFile();                    // LANGUAGE file, default ""
bool ReadOpenFolderWhenDone();                 // DIR open == "1", default "1"
QString ReadOutputFolder();                    // PATH name, default ""
bool WriteOutputFolder(const QString& folder); // Browse, after a folder passed its checks
bool WriteOpenFolderWhenDone(bool open);       // progress window close: "1" or "0"

} // namespace quarnix
