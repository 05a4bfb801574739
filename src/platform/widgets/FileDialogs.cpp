#include "platform/widgets/FileDialogs.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

#include <algorithm>

namespace quarnix {

namespace {
OpenFilesChooser& FilesChooser() {
    static OpenFilesChooser chooser;
    return chooser;
}
FolderChooser& FoldersChooser() {
    static FolderChooser chooser;
    return chooser;
}
// The open dialog that also takes folders: Open with a folder selected returns it (its videos are added),
// while a double click still goes into the folder.
class FilesOrFoldersDialog : public QFileDialog {
public:
    using QFileDialog::QFileDialog;

    void accept() override {
        const QStringList chosen = selectedFiles();
        if (!chosen.isEmpty() && std::all_of(chosen.begin(), chosen.end(),
                                             [](const QString& path) { return QFileInfo(path).isDir(); })) {
            done(QDialog::Accepted);
            return;
        }
        QFileDialog::accept();
    }
};

} // namespace

QString QtNameFilters(const QString& windowsFilter) {
    const QStringList parts = windowsFilter.split(u'|');
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QStringList patterns = parts[i + 1].split(u';', Qt::SkipEmptyParts);
        for (QString& pattern : patterns) {
            // "*.*" means every file on Windows, with or without a dot in its name.
            if (pattern.trimmed() == u"*.*") {
                pattern = QStringLiteral("*");
            }
        }
        if (!patterns.isEmpty()) {
            filters << parts[i].trimmed() + QStringLiteral(" (") + patterns.join(u' ') + u')';
        }
    }
    return filters.join(QStringLiteral(";;"));
}

std::optional<QStringList> ChooseFilesToOpen(QWidget* parent, const QString& windowsFilter,
                                             const QString& folder) {
    const QString filters = QtNameFilters(windowsFilter);
    const QString start = !folder.isEmpty() && QFileInfo(folder).isDir() ? folder : QDir::homePath();
    if (FilesChooser()) {
        return FilesChooser()(filters, start);
    }
    FilesOrFoldersDialog dialog(parent, QString(), start, filters);
    dialog.setObjectName(QStringLiteral("addFilesDialog"));
    dialog.setFileMode(QFileDialog::ExistingFiles);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    return dialog.selectedFiles();
}

std::optional<QString> ChooseFolder(QWidget* parent, const QString& title) {
    if (FoldersChooser()) {
        return FoldersChooser()(title);
    }
    const QString folder = QFileDialog::getExistingDirectory(parent, title);
    if (folder.isEmpty()) {
        return std::nullopt;
    }
    return folder;
}

void SetOpenFilesChooser(OpenFilesChooser chooser) {
    FilesChooser() = std::move(chooser);
}
void SetFolderChooser(FolderChooser chooser) {
    FoldersChooser() = std::move(chooser);
}

} // namespace quarnix
