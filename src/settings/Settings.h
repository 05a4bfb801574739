// The settings file setting.ini: where it lives, its keys with their defaults, and the reads and writes in
// the orders the program's windows use them. There is no settings object: every call builds the path
// afresh and opens the file, as the program's readers and writers do.
//
// Where it lives:
//   - portable: when the executable's folder holds a setting.ini that can be written (a build tree,
//     `make run`, a copy unpacked into a folder of its own), that file is the settings file;
//   - installed: otherwise the user's $XDG_CONFIG_HOME/quarnix/setting.ini (~/.config/quarnix/ by
//     default). The first read or write makes it as a copy of the shipped defaults
//     (DataFolder()/setting.ini); until it can be made, reads take the shipped defaults.
// A setting that cannot be saved (read-only file or folder, no room) is reported once per process on
// stderr; the write returns false.
//
// Tests point the executable folder elsewhere with SetExecutableFolderOverride (ExecutableFolder.h): by
// default that makes the program portable in that folder; they never touch build/bin/setting.ini.
#pragma once

#include <QSize>
#include <QString>
#include <QStringList>

namespace quarnix {

// The settings file as chosen above (it need not exist yet).
QString SettingsPath();

// The shipped defaults: DataFolder() + separator + "setting.ini".
QString DefaultSettingsPath();

// The user's settings file of an installed program: the writable generic configuration folder
// ($XDG_CONFIG_HOME, default ~/.config) + "/quarnix/setting.ini".
QString UserSettingsPath();

// Allows the next unsaved setting to be reported again. For tests.
void ResetUnsavedSettingsReport();

// The keys, spelled as the file spells them.
namespace setting {
inline constexpr char kLanguageSection[] = "LANGUAGE"; // file, name1 ... name6
inline constexpr char kLanguageFileKey[] = "file";
inline constexpr char kPathSection[] = "PATH";
inline constexpr char kPathNameKey[] = "name";
inline constexpr char kPathAddKey[] = "add"; // folder of the last file added to the list
inline constexpr char kWindowSection[] = "WINDOW";
inline constexpr char kWindowWidthKey[] = "width";
inline constexpr char kWindowHeightKey[] = "height";
inline constexpr char kDirSection[] = "DIR";
inline constexpr char kDirOpenKey[] = "open";
inline constexpr char kJoinSection[] = "JOIN"; // preset positions, see OutputPresets.h
inline constexpr char kRotateSection[] = "ROTATE";
inline constexpr char kRotateKeepMatroskaKey[] = "keepmatroska"; // "1": MKV and WebM stay Matroska
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
bool WriteLanguageFile(const QString& file);   // the language menu
QString ReadAddFolder();                       // PATH add, default ""
bool WriteAddFolder(const QString& folder);    // adding files
bool ReadKeepMatroska();                       // ROTATE keepmatroska == "1", default "0"
bool WriteKeepMatroska(bool keep);             // the window's check box: "1" or "0"
// WINDOW width and height; an empty size when either is missing or not positive.
QSize ReadWindowSize();
bool WriteWindowSize(const QSize& size); // main window close

} // namespace quarnix
