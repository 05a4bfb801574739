// The main window's other commands: removing rows, choosing and opening the output folder.
#include "ui/main/TessalyDlg.h"

#include "controls/CheckListCtrl.h"
#include "platform/FileSystem.h"
#include "platform/widgets/FileDialogs.h"
#include "platform/widgets/MessageBox.h"
#include "platform/widgets/ShellOpen.h"
#include "settings/LanguageTexts.h"
#include "settings/Settings.h"

#include <QComboBox>
#include <QDir>
#include <QPointer>

#include <algorithm>
#include <vector>

namespace quarnix {

void CTessalyDlg::RemoveSelectedFile() {
    std::vector<int> selected;
    for (int i = 0; i < m_fileList->topLevelItemCount(); ++i) {
        if (m_fileList->topLevelItem(i)->isSelected()) {
            selected.push_back(i);
        }
    }
    if (selected.empty()) {
        return;
    }
    // From the bottom up, so that the rows still to remove keep their positions.
    for (auto row = selected.rbegin(); row != selected.rend(); ++row) {
        m_fileList->DeleteItem(*row);
    }
    const int remaining = m_fileList->topLevelItemCount();
    if (remaining == 0) {
        return;
    }
    const int next = std::min(selected.front(), remaining - 1);
    QTreeWidgetItem* item = m_fileList->topLevelItem(next);
    m_fileList->setCurrentItem(item, 0, QItemSelectionModel::NoUpdate);
    item->setSelected(true);
    m_fileList->setFocus();
}

void CTessalyDlg::RemoveAllFiles() {
    m_fileList->DeleteAllItems();
}

void CTessalyDlg::BrowseOutputFolder() {
    const std::optional<QString> chosen = ChooseFolder(nullptr, Text(u"JIEMIAN", u"choosefolder"));
    if (!chosen) {
        return;
    }
    const QString path = QDir::toNativeSeparators(*chosen);
    if (!PathExists(path)) {
        ShowMessage(Text(u"TISHI", u"invalidfolder"), this);
    }
    if (!WriteProbeFile(path)) {
        ShowMessage(Text(u"TISHI", u"nowrite"), this);
        return;
    }
    if (!path.isEmpty()) {
        m_outputFolder = path;
        // Earlier folders are kept sorted; the same folder chosen twice is listed twice.
        int position = 0;
        while (position < m_outputFolderBox->count() &&
               QString::compare(m_outputFolderBox->itemText(position), path, Qt::CaseInsensitive) <= 0) {
            ++position;
        }
        m_outputFolderBox->insertItem(position, path);
        m_rememberedFolder = path;
        WriteOutputFolder(path);
    }
    m_outputFolderBox->setEditText(m_outputFolder);
}

void CTessalyDlg::OpenOutputFolder() {
    OpenFolderOrSay(m_outputFolderBox->currentText());
}

void CTessalyDlg::OpenFolderOrSay(const QString& folder) {
    const QPointer<CTessalyDlg> self(this);
    const auto failedLater = [self, folder] {
        if (self) {
            ShowMessage(Text(u"TISHI", u"openfailed").arg(folder), self);
        }
    };
    if (ShellOpen(folder, failedLater) == kShellNoAssociation) {
        ShowMessage(Text(u"TISHI", u"noopener").arg(folder), this);
    }
}

} // namespace quarnix
