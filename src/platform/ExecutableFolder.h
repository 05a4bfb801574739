// The folder of the running executable, and the folder of the program's read-only data (the shipped
// setting.ini, the languages folder and the help page).
//
// Run from the build tree (build/bin) or from any folder that holds the languages folder, the data sits
// beside the executable. Installed, it sits in share/quarnix beside the install's bin folder
// (/usr/bin/quarnix reads /usr/share/quarnix), so an install into any prefix finds its own data.
//
// Tests point both at a temporary folder with SetExecutableFolderOverride.
#pragma once

#include <QString>

namespace quarnix {

// The executable's folder without a trailing separator (the override when one is set).
QString ExecutableFolder();

// How an overriding folder is treated.
enum class ExecutableFolderMode {
    Portable,    // the folder holds everything: data, and the settings file (made there on first write)
    AsInstalled, // the folder is taken as the executable's real folder: DataFolder and the settings
                 // location follow the same rules as for a real one
};

// Sets (or, with an empty string, clears) the folder that ExecutableFolder returns.
void SetExecutableFolderOverride(const QString& folder,
                                 ExecutableFolderMode mode = ExecutableFolderMode::Portable);

// True while a Portable override is set: then DataFolder is that folder and setting.ini lives there.
bool PortableOverride();

// The folder with languages/ and help/ and the default setting.ini, without a trailing separator:
// the folder of a Portable override; else the executable's folder when it holds a "languages" folder; else
// <executable folder>/../share/quarnix when that exists; else the first "quarnix" folder of the XDG data
// folders ($XDG_DATA_HOME, $XDG_DATA_DIRS) that holds a "languages" folder; else the executable's folder.
QString DataFolder();

} // namespace quarnix
