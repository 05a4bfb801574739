// The Start command: checks the list, plans the batch (folder checks, output names) with the core's planner,
// starts it and runs the progress window, which the batch timer keeps up to date. When the batch has ended
// (its last entry, Stop, or the window closing) every row of the batch is written from the final statuses.
#include "ui/main/TessalyDlg.h"

#include "controls/CheckListCtrl.h"
#include "controls/Label.h"
#include "core/BatchPlanner.h"
#include "platform/widgets/MessageBox.h"
#include "platform/widgets/ShellOpen.h"
#include "settings/LanguageTexts.h"
#include "settings/Settings.h"
#include "ui/templates/DialogBuilder.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QProgressBar>
#include <QRadioButton>

namespace quarnix {

namespace {

constexpr int kPathColumn = 0;
constexpr int kStatusColumn = 6;

bool IsRootFolderText(const QString& folder) {
    return folder == u"/";
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

void CTessalyDlg::StartRotation() {
    if (m_progress->isVisible() || m_batch) {
        return;
    }
    m_outputFolder = ReadOutputFolderText();
    const int rows = m_fileList->topLevelItemCount();
    if (rows == 0) {
        ShowMessage(Text(u"TISHI", u"qxtjsp"), this);
        return;
    }
    std::vector<QTreeWidgetItem*> ticked;
    for (int row = 0; row < rows; ++row) {
        if (m_fileList->topLevelItem(row)->checkState(0) == Qt::Checked) {
            ticked.push_back(m_fileList->topLevelItem(row));
        }
    }
    if (ticked.empty()) {
        ShowMessage(Text(u"TISHI", u"selectfile"), this);
        return;
    }
    const QString folder = m_outputFolder;
    // Replacing the originals needs no output folder: each output goes beside its original.
    const bool replaceOriginals = FindControl<QCheckBox>(this, 1303)->isChecked();
    if (!replaceOriginals && IsRootFolderText(folder)) {
        return;
    }
    std::vector<PlannedInput> inputs;
    for (QTreeWidgetItem* item : ticked) {
        inputs.push_back({item->text(kPathColumn).toUtf8().toStdString(),
                          item->data(kPathColumn, kDurationRole).toLongLong(), RowTurn(*item),
                          RowTurnsPictures(*item)});
    }
    int rotation = 90;
    for (const auto& [id, degrees] : {std::pair{1256, 90}, std::pair{1007, 180}, std::pair{1008, 270}}) {
        if (FindControl<QRadioButton>(this, id)->isChecked()) {
            rotation = degrees;
        }
    }
    BatchPlan plan = replaceOriginals ? PlanReplaceBatch(inputs, rotation)
                                      : PlanBatch(folder.toUtf8().toStdString(), inputs, rotation);
    // A typed folder that does not exist yet is made when the user agrees.
    if (!replaceOriginals && plan.problem == PlanProblem::kFolderMissing && !folder.trimmed().isEmpty() &&
        !QFileInfo::exists(folder) && AskQuestion(Text(u"TISHI", u"createfolder").arg(folder), this) &&
        QDir().mkpath(folder)) {
        plan = PlanBatch(folder.toUtf8().toStdString(), inputs, rotation);
    }
    switch (plan.problem) {
    case PlanProblem::kNone:
    case PlanProblem::kNoEntries:
        break;
    case PlanProblem::kTooManyEntries:
        ShowMessage(Text(u"TISHI", u"toomany").arg(CConvertJob::kMaxEntries), this);
        return;
    case PlanProblem::kFolderMissing:
        ShowMessage(Text(u"TISHI", u"mlbcz"), this);
        return;
    case PlanProblem::kFolderNotWritable:
        m_rememberedFolder = folder;
        ShowMessage(Text(u"TISHI", u"readonly"), this);
        return;
    case PlanProblem::kNotEnoughSpace:
        m_rememberedFolder = folder;
        ShowMessage(Text(u"TISHI", u"nospace"), this);
        return;
    }
    m_batchReplaces = replaceOriginals;
    if (!replaceOriginals) {
        m_rememberedFolder = folder;
        // The folder of a batch that starts is the next start's folder too, typed or browsed.
        WriteOutputFolder(folder);
    }

    // Output parameters from the hidden preset lists (used by the re-encode mode only).
    PresetSelection selection = SelectionAt(CurrentPresetPositions(), m_keepSourceText);
    const DeriveResult derived = DeriveTargets(selection, TargetSlots());
    if (derived.sizeSplitFailed) {
        ShowMessage(Text(u"TISHI", u"convertfailed"), this);
    }
    const JobTargets targets = JobTargetsFrom(TargetSlots(), derived.keepSourceSize);
    CConvertJob& job = *plan.job;
    job.m_keepSourceSize = targets.m_keepSourceSize;
    ApplyJobTargets(targets, job);
    // Each row's way of rotating (a mark players honour, or the pictures themselves turned) is its own
    // (PlannedInput); keeping Matroska is the window's.
    job.m_keepMatroska = FindControl<QCheckBox>(this, 1302)->isChecked() ? 1 : 0;

    // The rows of this batch start again as "Ready", whatever an earlier batch left in them.
    m_batchRows = ticked;
    m_rowShown.assign(ticked.size(), false);
    for (QTreeWidgetItem* item : ticked) {
        item->setText(kStatusColumn, Text(u"JIEMIAN", u"zb"));
        item->setToolTip(kStatusColumn, QString());
    }
    ResetProgressWindow(static_cast<int>(ticked.size()));

    // The worker's end wakes this thread, so the progress window closes when the batch ends rather than at
    // the next tick; a call queued for a batch that is already gone finds no batch and does nothing.
    // Queued by name, so that the call's record is made and freed inside Qt, under its event queue's lock.
    m_batch = std::make_unique<RunningBatch>(
        std::move(plan.job), [this] { QMetaObject::invokeMethod(this, "BatchTimer", Qt::QueuedConnection); });
    m_batchTimer.start(m_batchTimerInterval);
    // The first look comes as soon as the progress window runs, not at the first tick.
    QMetaObject::invokeMethod(this, &CTessalyDlg::BatchTimer, Qt::QueuedConnection);
    m_progress->SetHost(this);
    RunProgressWindow();
    // The progress window is gone: the batch ended, or Stop or its close box cancelled it.
    m_batchTimer.stop();
    EndBatch();
}

void CTessalyDlg::RunProgressWindow() {
    // Not application-modal: window managers send the main window's close box to the main window, and Qt
    // drops that for a window that a modal one blocks. Input to the main window is held back by
    // eventFilter while the progress window shows, as modality would.
    QEventLoop loop;
    connect(m_progress.get(), &QDialog::finished, &loop, &QEventLoop::quit);
    m_progress->setWindowModality(Qt::NonModal);
    m_progress->show();
    if (m_progress->isVisible()) {
        loop.exec();
    }
}

void CTessalyDlg::CancelBatch() {
    if (m_batch) {
        m_batch->Cancel();
    }
}

void CTessalyDlg::ResetProgressWindow(int entries) {
    m_progress->CurrentFileLabel()->setText(QString());
    m_progress->CurrentFileLabel()->setToolTip(QString());
    m_progress->BatchLabel()->setText(QStringLiteral("0 ") + Text(u"TISHI", u"wjwczg") + u' ' +
                                      QString::number(entries) + u' ' + Text(u"TISHI", u"wj1"));
    m_progress->FileBar()->setValue(0);
    m_progress->BatchBar()->setValue(0);
}

// Writes an entry's final status into its row: converted rows are unticked, failed rows keep their tick and
// carry the reason as the status tooltip, pending rows stay ticked and "Ready" for the next Start.
void CTessalyDlg::ShowRowOutcome(int entry) {
    const auto at = static_cast<std::size_t>(entry);
    QTreeWidgetItem* item = m_batchRows[at];
    const EntryOutcome outcome = m_batch->OutcomeOf(entry);
    const QString reason = TranslatedReason(QString::fromStdString(outcome.reason));
    switch (outcome.status) {
    case kFileStatusConverted:
        item->setText(kStatusColumn, Text(u"TISHI", u"wc"));
        item->setToolTip(kStatusColumn,
                         reason.isEmpty() ? QString::fromStdString(outcome.outputPath) : reason);
        item->setCheckState(0, Qt::Unchecked);
        m_rowShown[at] = true;
        break;
    case kFileStatusFailed:
        item->setText(kStatusColumn, Text(u"TISHI", u"sb"));
        item->setToolTip(kStatusColumn, reason);
        item->setCheckState(0, Qt::Checked);
        m_rowShown[at] = true;
        break;
    default:
        item->setText(kStatusColumn, Text(u"JIEMIAN", u"zb"));
        item->setToolTip(kStatusColumn, QString());
        item->setCheckState(0, Qt::Checked);
        break;
    }
}

void CTessalyDlg::EndBatch() {
    if (!m_batch) {
        return;
    }
    m_batch->Wait();
    const int n = m_batch->EntryCount();
    int converted = 0;
    int notDone = 0;
    QStringList failures; // "name — reason", one per failed entry, in batch order
    for (int entry = 0; entry < n; ++entry) {
        ShowRowOutcome(entry);
        const EntryOutcome outcome = m_batch->OutcomeOf(entry);
        if (outcome.status == kFileStatusConverted) {
            ++converted;
        } else if (outcome.status == kFileStatusFailed) {
            failures << QFileInfo(QString::fromStdString(outcome.inputPath)).fileName() +
                            QStringLiteral(" \u2014 ") +
                            TranslatedReason(QString::fromStdString(outcome.reason));
        } else {
            ++notDone;
        }
    }
    const bool stopped = m_batch->Cancelled();
    m_batch.reset();
    m_batchRows.clear();
    m_rowShown.clear();
    if (m_closingWindow) {
        return;
    }
    // One account of the files that failed or were left out, each failure named with its reason; a batch
    // the user stopped says only what failed before the stop.
    if (!failures.isEmpty() || (notDone > 0 && !stopped)) {
        QString summary = Text(u"TISHI", u"batchsummary").arg(converted).arg(n).arg(failures.size());
        if (notDone > 0 && !stopped) {
            summary += QStringLiteral(", ") + Text(u"TISHI", u"batchnotdone").arg(notDone);
        }
        if (!failures.isEmpty()) {
            summary += u':' + (failures.size() == 1 ? QStringLiteral(" ") + failures.front()
                                                    : QStringLiteral("\n") + failures.join(u'\n'));
        }
        ShowMessage(summary, this);
    }
    if (!stopped && !m_batchReplaces && m_openFolderWhenDone && converted > 0) {
        OpenFolderOrSay(m_outputFolder);
    }
}

void CTessalyDlg::BatchTimer() {
    if (!m_batch) {
        return;
    }
    const RunningBatch& batch = *m_batch;
    const int n = batch.EntryCount();
    // Before the worker has taken up its first entry, that entry is the one it is about to convert.
    const int i = std::max(batch.CurrentEntry(), 0);
    const int p = batch.FilePercent();

    int done = 0;
    for (int entry = 0; entry < n; ++entry) {
        const std::int8_t status = batch.StatusOf(entry);
        if (status == kFileStatusConverted || status == kFileStatusFailed) {
            if (!m_rowShown[static_cast<std::size_t>(entry)]) {
                ShowRowOutcome(entry);
            }
            done += status == kFileStatusConverted ? 1 : 0;
        }
    }
    if (i >= 0 && i < n) {
        const QString path = m_batchRows[static_cast<std::size_t>(i)]->text(kPathColumn);
        const int percent = std::clamp(p, 0, 100);
        const QString suffix =
            QStringLiteral("   ") + QString::number(percent) + QStringLiteral("% ") + Text(u"TISHI", u"wjwc");
        // The name and the percentage always show: a long path gives up its middle, whole in the tooltip.
        CLabel* label = m_progress->CurrentFileLabel();
        const QFontMetrics metrics(label->font());
        const int room = std::max(label->width() - metrics.horizontalAdvance(suffix) - 4, 40);
        label->setText(metrics.elidedText(path, Qt::ElideMiddle, room) + suffix);
        label->setToolTip(path);
        m_progress->FileBar()->setValue(percent);
    }
    m_progress->BatchLabel()->setText(QString::number(done) + u' ' + Text(u"TISHI", u"wjwczg") + u' ' +
                                      QString::number(n) + u' ' + Text(u"TISHI", u"wj1"));
    m_progress->BatchBar()->setValue(n > 0 ? done * 100 / n : 0);
    if (batch.Finished()) {
        m_batchTimer.stop();
        m_progress->CloseRoutine();
    }
}

} // namespace quarnix
