// The file list: adding files by the open-file dialog, by drop or from the command line. Files are probed
// off the UI thread and get their rows in the order they were added; a file already listed is selected
// instead of added twice; every refused file is named in one message at the end.
#include "ui/main/TessalyDlg.h"

#include "controls/CheckListCtrl.h"
#include "core/BatchPlanner.h"
#include "core/VideoFiles.h"
#include "engine/Probe.h"
#include "platform/widgets/FileDialogs.h"
#include "platform/widgets/MessageBox.h"
#include "settings/LanguageTexts.h"
#include "settings/Settings.h"
#include "ui/main/WindowTrace.h"
#include "ui/templates/DialogBuilder.h"

#include <QCheckBox>
#include <QFileInfo>

namespace quarnix {

namespace {

constexpr int kPathColumn = 0;
constexpr int kSizeColumn = 3;

QString Utf8Text(const std::string& text) {
    return QString::fromStdString(text);
}

// How players show the video now, when it carries a mark: in the pack's words ("shown turned 90°,
// mirrored") for the tooltip, and as a short sign after the frame size (" ↻90 ⇄").
QString ShownMarkWords(const MediaFacts& facts) {
    QStringList parts;
    if (facts.shownClockwise != 0) {
        parts << Text(u"JIEMIAN", u"shownturned").arg(facts.shownClockwise);
    }
    if (facts.shownMirrored) {
        parts << Text(u"JIEMIAN", u"shownmirrored");
    }
    return parts.join(QStringLiteral(", "));
}
QString ShownMarkSign(const MediaFacts& facts) {
    QString sign;
    if (facts.shownClockwise != 0) {
        sign += QStringLiteral(" \u21bb%1").arg(facts.shownClockwise);
    }
    if (facts.shownMirrored) {
        sign += QStringLiteral(" \u21c4");
    }
    return sign;
}

} // namespace

void CTessalyDlg::AddFilesFromDialog() {
    if (Adding()) {
        return;
    }
    const QString filter = Text(u"JIEMIAN", u"symtwj") + u'|' + VideoFilePatterns() + u'|' +
                           Text(u"JIEMIAN", u"sywj") + QStringLiteral("|*.*|");
    const std::optional<QStringList> chosen = ChooseFilesToOpen(this, filter, ReadAddFolder());
    if (!chosen) {
        return;
    }
    // The next Add opens where these files were.
    if (!chosen->isEmpty()) {
        WriteAddFolder(QFileInfo(chosen->last()).absolutePath());
    }
    AddFiles(*chosen);
}

void CTessalyDlg::AddDroppedFiles(const QStringList& paths) {
    AddFiles(paths);
}

void CTessalyDlg::AddFiles(const QStringList& givenPaths) {
    if (Adding()) {
        return;
    }
    const QStringList paths = ExpandFolders(givenPaths);
    // A file already listed, or twice in this selection, is selected rather than added again: two rows of
    // one file would only make a second, numbered output of it.
    QSet<QString> listed;
    for (int row = 0; row < m_fileList->topLevelItemCount(); ++row) {
        listed.insert(m_fileList->topLevelItem(row)->text(kPathColumn));
    }
    m_fileList->clearSelection();
    m_pendingPaths.clear();
    m_refusedNames.clear();
    std::vector<std::string> toProbe;
    for (const QString& path : paths) {
        if (listed.contains(path)) {
            for (int row = 0; row < m_fileList->topLevelItemCount(); ++row) {
                if (m_fileList->topLevelItem(row)->text(kPathColumn) == path) {
                    m_fileList->topLevelItem(row)->setSelected(true);
                }
            }
            continue;
        }
        listed.insert(path);
        m_pendingPaths << path;
        toProbe.push_back(path.toUtf8().toStdString());
    }
    if (toProbe.empty()) {
        return;
    }
    m_pictures.HoldOthers(true);
    m_probes.Start(std::move(toProbe));
}

bool CTessalyDlg::Adding() const {
    return m_probes.Busy();
}

void CTessalyDlg::FileProbed(int index, const MediaFacts& facts) {
    const QString path = m_pendingPaths.value(index);
    if (!facts.Accepted() || !HasContainerExtension(path.toUtf8().toStdString())) {
        m_refusedNames << QString::fromStdString(FileNameOf(path.toStdString()));
        return;
    }
    AppendFileRow(m_fileList->topLevelItemCount(), path, facts);
}

void CTessalyDlg::AddingFinished() {
    window_trace::Note("facts", m_fileList->topLevelItemCount());
    m_pictures.HoldOthers(false);
    m_pendingPaths.clear();
    if (m_refusedNames.isEmpty()) {
        return;
    }
    QStringList lines;
    for (const QString& name : m_refusedNames) {
        lines << Text(u"TISHI", u"wj") + name + u' ' + Text(u"TISHI", u"wx");
    }
    m_refusedNames.clear();
    ShowMessage(lines.join(u'\n'), this);
}

void CTessalyDlg::AppendFileRow(int row, const QString& path, const MediaFacts& facts) {
    if (QTreeWidgetItem* first = m_fileList->topLevelItem(0)) {
        first->setSelected(false);
    }
    const std::array<std::string, 7> texts = ListRowTexts(path.toUtf8().toStdString(), facts);
    auto* item = new QTreeWidgetItem(QStringList{
        path,
        Utf8Text(texts[1]),
        Utf8Text(texts[2]),
        Utf8Text(texts[3]) + ShownMarkSign(facts),
        Utf8Text(texts[4]),
        Utf8Text(texts[5]),
        Text(u"JIEMIAN", u"zb"),
        Utf8Text(texts[6]),
    });
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
    item->setToolTip(kPathColumn, path);
    item->setToolTip(kSizeColumn, ShownMarkWords(facts));
    item->setData(kPathColumn, kDurationRole, QVariant::fromValue<qint64>(facts.durationUs));
    item->setData(kPathColumn, kTurnPicturesRole, FindControl<QCheckBox>(this, 1301)->isChecked());
    SetRowTurn(*item, ChosenTurn());
    RequestPicture(path);
    // Ticked before it is listed: a ticked row leaves the header box as it was (ticked when every row is,
    // empty when one is not), and the box need not look at every row again for each of 2,000 new ones.
    item->setCheckState(0, Qt::Checked);
    m_fileList->insertTopLevelItem(row, item);
}

} // namespace quarnix
