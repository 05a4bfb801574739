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

namespace quarnix {

void CTessalyDlg::RemoveSelectedFile() {
    const int count = m_fileList->topLevelItemCount();
    int row = -1;
    for (int i = 0; i < count; ++i) {
        if (m_fileList->topLevelItem(i)->isSelected()) {
            row = i;
            break;
        }
    }
    if (row < 0) {
        return;
    }
    m_fileList->DeleteItem(row);
    const int remaining = m_fileList->topLevelItemCount();
    if (remaining == 0) {
        return;
    }
    const int next = row == remaining ? row - 1 : row;
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
    ShellOpen(m_outputFolderBox->currentText());
}

} // namespace quarnix
