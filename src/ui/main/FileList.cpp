// The file list: adding files by the open-file dialog or by drop, each probed before it gets a row.
#include "TessalyDlg.h"

#include "CheckListCtrl.h"
#include "FileDialogs.h"
#include "LanguageTexts.h"
#include "MediaProbe.h"
#include "MediaText.h"
#include "MessageBox.h"
#include "OutputNaming.h"

#include <QCoreApplication>

namespace quarnix {

namespace {

// Every extension offered here can be rotated: QuickTime and Matroska files in place, the others written
// as MOV or MKV. Raw H.264 (no timing), RealMedia and NSV (no muxer that takes their streams) are left out.
const char kVideoPatterns[] =
    "*.mp4;*.m4v;*.mov;*.qt;*.3gp;*.3gpp;*.3g2;*.f4v;*.mkv;*.webm;*.avi;*.flv;*.swf;*.mpg;*.mpeg;*.vob;"
    "*.mod;*.tod;*.dat;*.ts;*.mts;*.m2ts;*.m2t;*.nut;*.dv;*.ogv;*.asf;*.wmv;*.wm";

QString Utf8Text(const std::string& text) {
    return QString::fromStdString(text);
}

// Windows paths picked from the dialog may carry doubled backslashes; a network path keeps its leading pair.
QString CleanDialogPath(const QString& path) {
#ifdef _WIN32
    const qsizetype firstBackslash = path.indexOf(u'\\');
    if (firstBackslash > 0) {
        QString cleaned = path;
        cleaned.replace(QStringLiteral("\\\\"), QStringLiteral("\\"));
        return cleaned;
    }
#endif
    return path;
}

} // namespace

bool CTessalyDlg::ProbeFile(const QString& path) {
    m_lastFacts = ProbeMedia(path.toUtf8().toStdString());
    return m_lastFacts.Accepted();
}

void CTessalyDlg::RefuseFile(const QString& path) {
    ShowMessage(Text(u"TISHI", u"wj") + FileNameOf(path) + u' ' + Text(u"TISHI", u"wx"), this);
}

void CTessalyDlg::AddFilesFromDialog() {
    if (m_adding) {
        return;
    }
    const QString filter = Text(u"JIEMIAN", u"symtwj") + u'|' + QString::fromLatin1(kVideoPatterns) + u'|' +
                           Text(u"JIEMIAN", u"sywj") + QStringLiteral("|*.*|");
    const std::optional<QStringList> chosen = ChooseFilesToOpen(this, filter);
    if (!chosen) {
        return;
    }
    m_adding = true;
    const int base = m_fileList->topLevelItemCount();
    int added = 0;
    for (const QString& chosenPath : *chosen) {
        // Keep the window painted between probes; user input waits until the files are added.
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        const QString path = CleanDialogPath(chosenPath);
        if (!ProbeFile(path)) {
            RefuseFile(path);
            break;
        }
        ++added;
        AppendFileRow(base + added - 1, path);
    }
    m_adding = false;
}

void CTessalyDlg::AddDroppedFiles(const QStringList& paths) {
    if (m_adding) {
        return;
    }
    m_adding = true;
    const int base = m_fileList->topLevelItemCount();
    for (int i = 0; i < paths.size(); ++i) {
        if (!ProbeFile(paths[i])) {
            RefuseFile(paths[i]);
            break;
        }
        AppendFileRow(base + i, paths[i]);
    }
    m_adding = false;
}

void CTessalyDlg::AppendFileRow(int row, const QString& path) {
    if (QTreeWidgetItem* first = m_fileList->topLevelItem(0)) {
        first->setSelected(false);
    }
    const std::array<std::string, 7> texts = ListRowTexts(path.toUtf8().toStdString(), m_lastFacts);
    auto* item = new QTreeWidgetItem(QStringList{
        path,
        Utf8Text(texts[1]),
        Utf8Text(texts[2]),
        Utf8Text(texts[3]),
        Utf8Text(texts[4]),
        Utf8Text(texts[5]),
        Text(u"JIEMIAN", u"zb"),
        Utf8Text(texts[6]),
    });
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
    item->setToolTip(0, path);
    m_fileList->insertTopLevelItem(row, item);
    // Ticked once in the list, so that the header box sees the change.
    item->setCheckState(0, Qt::Checked);
}

} // namespace quarnix
