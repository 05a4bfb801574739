// The platform's file and folder pickers behind two functions, so that the windows' commands can be
// driven by tests: a test installs a chooser that answers instead of a dialog being shown.
#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

class QWidget;

namespace quarnix {

// A Windows filter text ("Videos|*.mp4;*.mkv|All files|*.*|") as a Qt name filter list
// ("Videos (*.mp4 *.mkv);;All files (*)").
QString QtNameFilters(const QString& windowsFilter);

// Multiple selection of existing files or folders (Open with folders selected returns them; a double click
// goes into one), starting in the folder (the home folder when it is empty or gone); nothing when the user
// cancels.
std::optional<QStringList> ChooseFilesToOpen(QWidget* parent, const QString& windowsFilter,
                                             const QString& folder = QString());

// One existing folder; nothing when the user cancels.
std::optional<QString> ChooseFolder(QWidget* parent, const QString& title);

// For tests: answer the pickers instead of showing them; empty functions restore the dialogs.
using OpenFilesChooser =
    std::function<std::optional<QStringList>(const QString& qtFilters, const QString& folder)>;
using FolderChooser = std::function<std::optional<QString>(const QString& title)>;
void SetOpenFilesChooser(OpenFilesChooser chooser);
void SetFolderChooser(FolderChooser chooser);

} // namespace quarnix
