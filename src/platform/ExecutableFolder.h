// The folder of the running executable, the home of setting.ini and the languages folder.
// Tests point it at a temporary folder instead.
#pragma once

#include <QString>

namespace quarnix {

// The executable's folder without a trailing separator (the override when one is set).
QString ExecutableFolder();

// Sets (or, with an empty string, clears) the folder that ExecutableFolder returns.
void SetExecutableFolderOverride(const QString& folder);

} // namespace quarnix
