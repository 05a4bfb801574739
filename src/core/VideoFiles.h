// Which files count as videos when a folder is added: the extensions the open dialog offers, and the walk
// that turns each folder given (by the dialog, a drop or the command line) into the videos inside it.
#pragma once

#include <QString>
#include <QStringList>

namespace quarnix {

// The open dialog's video patterns, ';'-separated ("*.mp4;*.m4v;...").
QString VideoFilePatterns();

// True when the name ends in one of those extensions (in any case).
bool HasVideoExtension(const QString& path);

// The paths with each folder replaced by the videos inside it and its subfolders: depth first, each folder's
// entries in name order (files and subfolders together, names compared without case, numbers by value).
// Other files inside a folder are skipped; a path that is not a folder stays as it is, whatever its name, so
// that a file given by name is still named when it is refused. Links to folders are not followed inside a
// folder, so a link loop cannot make the walk endless.
QStringList ExpandFolders(const QStringList& paths);

} // namespace quarnix
