// The Start command: checks the list and the output folder, fills the job with one entry per ticked row,
// starts the worker and runs the progress window, which the batch timer keeps up to date.
#include "TessalyDlg.h"

#include "CheckListCtrl.h"
#include "DialogBuilder.h"
#include "FileSystem.h"
#include "Label.h"
#include "LanguageTexts.h"
#include "MediaText.h"
#include "MessageBox.h"
#include "OutputNaming.h"
#include "ShellOpen.h"

#include <QComboBox>
#include <QProgressBar>
#include <QRadioButton>
#include <QSet>

namespace quarnix {

namespace {

constexpr int kPathColumn = 0;
constexpr int kDurationColumn = 2;
constexpr int kStatusColumn = 6;

bool IsRootFolderText(const QString& folder) {
#ifdef _WIN32
    return folder == u"\\";
#else
    return folder == u"/";
#endif
}

// The re-encode targets of the preset lists, the same for every file of the batch.
void ApplyJobTargets(const JobTargets& targets, CConvertJob& job) {
    job.m_videoBitRate = targets.m_videoBitRate;
    job.m_targetHeight = targets.m_targetHeight;
    job.m_targetWidth = targets.m_targetWidth;
    job.m_audioBitRate = targets.m_audioBitRate;
    job.m_channels = targets.m_channels;
    job.m_sampleRate = targets.m_sampleRate;
    job.m_targetFrameRate = targets.m_targetFrameRate;
    job.m_videoCodecId = targets.m_videoCodecId;
    job.m_audioCodecId = targets.m_audioCodecId;
}

} // namespace

QString CTessalyDlg::ReadOutputFolderText() const {
    return m_outputFolderBox->currentText();
}

void CTessalyDlg::SetRowStatus(int row, const QString& text) {
    QTreeWidgetItem* item = m_fileList->topLevelItem(row);
    if (item != nullptr && item->text(kStatusColumn) != text) {
        item->setText(kStatusColumn, text);
    }
}

void CTessalyDlg::StartRotation() {
    if (m_progress->isVisible()) {
        return;
    }
    m_outputFolder = ReadOutputFolderText();
    const int rows = m_fileList->topLevelItemCount();
    if (rows == 0) {
        ShowMessage(Text(u"TISHI", u"qxtjsp"), this);
        return;
    }
    m_batchRows.fill(-1);
    QList<int> ticked;
    for (int row = 0; row < rows; ++row) {
        if (m_fileList->topLevelItem(row)->checkState(0) == Qt::Checked) {
            ticked << row;
        }
    }
    const int count = static_cast<int>(ticked.size());
    if (count == 0) {
        ShowMessage(QStringLiteral("Please select file first!"), this);
        return;
    }
    if (count > CConvertJob::kMaxEntries) {
        ShowMessage(
            QStringLiteral("A batch holds at most %1 files. Please untick some files and start again.")
                .arg(CConvertJob::kMaxEntries),
            this);
        return;
    }
    for (int i = 0; i < count; ++i) {
        m_batchRows[static_cast<std::size_t>(i)] = ticked[i];
    }

    const QString folder = m_outputFolder;
    if (IsRootFolderText(folder)) {
        return;
    }
    if (!PathExists(folder)) {
        ShowMessage(Text(u"TISHI", u"mlbcz"), this);
        return;
    }
    m_rememberedFolder = folder;
    if (!WriteProbeFile(folder)) {
        ShowMessage(
            QStringLiteral("Rotate failed\uFF0C please click browse button to save as other directory!"),
            this);
        return;
    }
    QStringList inputs;
    for (int row : ticked) {
        inputs << m_fileList->topLevelItem(row)->text(kPathColumn);
    }
    if (!HasRoomFor(folder, TotalFileSize(inputs))) {
        ShowMessage(
            QStringLiteral("Not enough disk space, Please click browse button to save as other directory!"),
            this);
        return;
    }

    // Output parameters from the hidden preset lists (used by the re-encode mode only).
    PresetSelection selection = SelectionAt(CurrentPresetPositions(), m_keepSourceText);
    const DeriveResult derived = DeriveTargets(selection, TargetSlots());
    if (derived.sizeSplitFailed) {
        ShowMessage(QString::fromUtf16(kSizeSplitFailedMessage), this);
    }
    const JobTargets targets = JobTargetsFrom(TargetSlots(), derived.keepSourceSize);

    // The job may still be in use by the worker of a stopped batch: wait for it before refilling.
    WaitForWorker();
    if (!m_job) {
        m_job = std::make_unique<CConvertJob>();
    }
    CConvertJob& job = *m_job;
    m_completedCount = 0;
    job.m_keepSourceSize = targets.m_keepSourceSize;
    job.m_displayCount = job.m_fileCount = count;
    job.m_inputPaths = CConvertJob::AllocatePathList(count);
    job.m_outputPaths = CConvertJob::AllocatePathList(count);
    job.m_filePercent.store(-1);
    QSet<QString> taken;
    for (int i = 0; i < count; ++i) {
        QTreeWidgetItem* item = m_fileList->topLevelItem(ticked[i]);
        const QString path = item->text(kPathColumn);
        job.m_inputPaths[i] = path.toUtf8().toStdString();
        job.m_fileDuration[i] = ParseDuration(item->text(kDurationColumn).toStdString()) / 1000.0;
        if (!FileNameOf(path).contains(u'.')) {
            return; // without an extension there is no container to write: nothing starts
        }
        // Names given earlier in this batch count as taken, so same-named inputs never share an output.
        const QString output = MakeOutputPath(m_rememberedFolder, path, taken);
        taken.insert(output);
        job.m_outputPaths[i] = output.toUtf8().toStdString();
    }
    ApplyJobTargets(targets, job);
    job.m_currentFile.store(-1);
    job.m_cancel.store(0);
    job.m_filePercent.store(0);
    job.m_reencode = 0;
    for (const auto& [id, degrees] : {std::pair{1256, 90}, std::pair{1007, 180}, std::pair{1008, 270}}) {
        if (FindControl<QRadioButton>(this, id)->isChecked()) {
            job.m_rotation = degrees;
        }
    }

    m_worker = StartConvertThread(job);
    m_batchTimer.start(m_batchTimerInterval);
    m_progress->SetHost(this);
    m_progress->exec();
}

void CTessalyDlg::BatchTimer() {
    if (!m_job) {
        return;
    }
    const CConvertJob& job = *m_job;
    const int i = job.m_currentFile.load(std::memory_order_acquire);
    const int n = job.m_displayCount;
    const int p = job.m_filePercent.load(std::memory_order_relaxed);
    auto status = [&job](int entry) { return job.m_fileStatus[static_cast<std::size_t>(entry)].load(); };
    auto rowOf = [this](int entry) { return m_batchRows[static_cast<std::size_t>(entry)]; };

    if (p >= 0 && i < n) {
        const QString name = i >= 0 ? m_fileList->topLevelItem(rowOf(i))->text(kPathColumn) : QString();
        m_progress->CurrentFileLabel()->setText(name + QStringLiteral("   ") + QString::number(p) +
                                                QStringLiteral("% ") + Text(u"TISHI", u"wjwc"));
    }
    m_progress->BatchLabel()->setText(QString::number(m_completedCount) + u' ' + Text(u"TISHI", u"wjwczg") +
                                      u' ' + QString::number(n) + u' ' + Text(u"TISHI", u"wj1"));
    m_progress->BatchBar()->setValue(n > 0 ? m_completedCount * 100 / n : 0);
    if (p >= 0 && p <= 100) {
        m_progress->FileBar()->setValue(p);
    }
    if (i > 0 && i <= n) {
        const int previous = i - 1;
        if (status(previous) == kFileStatusFailed) {
            SetRowStatus(rowOf(previous), Text(u"TISHI", u"sb"));
        } else if (status(previous) == kFileStatusConverted) {
            m_completedCount = i;
            SetRowStatus(rowOf(previous), Text(u"TISHI", u"wc"));
            m_fileList->topLevelItem(rowOf(previous))->setCheckState(0, Qt::Unchecked);
        }
    }
    if (i == n) {
        m_batchTimer.stop();
        m_progress->CloseRoutine();
        if (n > 0 && status(n - 1) == kFileStatusFailed) {
            ShowMessage(Text(u"TISHI", u"hbsb"), this);
            return;
        }
        for (int j = 0; j < n; ++j) {
            if (status(j) == kFileStatusConverted) {
                SetRowStatus(rowOf(j), Text(u"TISHI", u"wc"));
                m_fileList->topLevelItem(rowOf(j))->setCheckState(0, Qt::Unchecked);
            } else if (status(j) == kFileStatusFailed) {
                SetRowStatus(rowOf(j), Text(u"TISHI", u"sb"));
            }
        }
        if (m_openFolderWhenDone) {
            ShellOpen(m_outputFolder);
        }
        return;
    }
    if (i >= 0 && i < n && status(i) == kFileStatusFailed) {
        SetRowStatus(rowOf(i), Text(u"TISHI", u"sb"));
    }
}

} // namespace quarnix
