// CTessalyDlg: the main window. Its widgets come from dialog template 102; this class sets them up
// (texts, colours, pictures, presets), keeps the file list (the only store of the inputs), runs the
// commands of its buttons and follows a batch with its timer.
#pragma once

#include "AVConvertDlg.h"
#include "ConvertJob.h"
#include "MediaProbe.h"
#include "OutputPresets.h"

#include <QDialog>
#include <QStringList>
#include <QTimer>
#include <array>
#include <memory>
#include <thread>

class QComboBox;
class QTreeWidgetItem;

namespace quarnix {

class CCheckListCtrl;

class CTessalyDlg : public QDialog, public ProgressHost {
    Q_OBJECT
public:
    explicit CTessalyDlg(QWidget* parent = nullptr);
    ~CTessalyDlg() override;

    // File list (column 0 path, 1 extension, 2 duration, 3 frame size, 4 bit rate, 5 frame rate,
    // 6 status, 7 profile).
    void AddFilesFromDialog();
    void AddDroppedFiles(const QStringList& paths);
    void AppendFileRow(int row, const QString& path);

    // Commands.
    void RemoveSelectedFile();
    void RemoveAllFiles();
    void BrowseOutputFolder();
    void OpenOutputFolder();
    void StartRotation();
    void BatchTimer();

    CCheckListCtrl* FileList() const { return m_fileList; }
    CConvertJob* Job() const override { return m_job.get(); }
    CAVConvertDlg* ProgressWindow() const { return m_progress.get(); }
    bool OpenFolderWhenDone() const { return m_openFolderWhenDone; }
    void SetOpenFolderWhenDone(bool open) override { m_openFolderWhenDone = open; }
    void KillBatchTimer() override { m_batchTimer.stop(); }
    bool BatchTimerActive() const { return m_batchTimer.isActive(); }
    // The batch timer ticks every 2000 ms; tests shorten it.
    void SetBatchTimerInterval(int milliseconds) { m_batchTimerInterval = milliseconds; }
    const QString& RememberedFolder() const { return m_rememberedFolder; }
    // Waits until the worker of the previous batch (if any) has ended.
    void WaitForWorker();

    // The five preset choices as the hidden lists hold them.
    PresetPositions CurrentPresetPositions() const;

    // The window's own OK and Cancel operations do nothing: only closing ends it.
    void accept() override {}
    void reject() override {}

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildControls();
    void Initialise();
    void LoadTexts();
    void SetUpImageButtons();
    void SetUpToolTips();
    void SetUpFileList();
    void SetUpPresetLists();
    void ConnectCommands();

    // Probes one path into the job (made on first use); false when the file is refused.
    bool ProbeFile(const QString& path);
    void RefuseFile(const QString& path);
    QString ReadOutputFolderText() const;
    QComboBox* PresetCombo(PresetList list) const;
    void SetRowStatus(int row, const QString& text);

    CCheckListCtrl* m_fileList = nullptr;
    QComboBox* m_outputFolderBox = nullptr;
    std::unique_ptr<CConvertJob> m_job;
    MediaFacts m_lastFacts;
    std::unique_ptr<CAVConvertDlg> m_progress;
    std::thread m_worker;
    QTimer m_batchTimer;

    QString m_languageFile;
    QString m_keepSourceText;
    QString m_outputFolder;     // the folder text as read at the last start
    QString m_rememberedFolder; // the last folder that passed the checks
    bool m_openFolderWhenDone = true;
    bool m_adding = false;
    int m_batchTimerInterval = 2000;

    std::array<int, CConvertJob::kMaxEntries> m_batchRows{};
    int m_completedCount = 0;
};

} // namespace quarnix
