// CTessalyDlg: the main window. Its widgets come from dialog template 102; this class sets them up
// (texts, colours, pictures, presets, keyboard order), keeps the file list (the only store of the inputs),
// runs the commands of its buttons, follows a batch with its timer, switches the language (the Help link's
// context menu) and lays its controls out again when it is resized.
#pragma once

#include "core/ProbeQueue.h"
#include "engine/Batch.h"
#include "engine/Probe.h"
#include "settings/OutputPresets.h"
#include "ui/progress/AVConvertDlg.h"

#include <QDialog>
#include <QStringList>
#include <QTimer>
#include <array>
#include <memory>
#include <utility>
#include <vector>

class QComboBox;
class QMenu;
class QTranslator;
class QTreeWidgetItem;

namespace quarnix {

class CCheckListCtrl;

// Item data of the path column: the probed duration in microseconds.
inline constexpr int kDurationRole = Qt::UserRole + 1;

class CTessalyDlg : public QDialog, public ProgressHost {
    Q_OBJECT
public:
    explicit CTessalyDlg(QWidget* parent = nullptr);
    ~CTessalyDlg() override;

    // File list (column 0 path, 1 extension, 2 duration, 3 frame size, 4 bit rate, 5 frame rate,
    // 6 status, 7 profile).
    void AddFilesFromDialog();
    void AddDroppedFiles(const QStringList& paths);
    // Probes the files off the UI thread and lists the acceptable ones in order; refused files are named in
    // one message once all are probed. Ignored while an earlier adding is still probing.
    void AddFiles(const QStringList& paths);
    // True while files are being probed.
    bool Adding() const;
    void AppendFileRow(int row, const QString& path, const MediaFacts& facts);

    // Commands.
    void RemoveSelectedFile();
    void RemoveAllFiles();
    void BrowseOutputFolder();
    void OpenOutputFolder();
    void StartRotation();
    // Invokable by name: the worker's end queues it from the worker's thread.
    Q_INVOKABLE void BatchTimer();

    CCheckListCtrl* FileList() const { return m_fileList; }
    // The running batch, or null between batches.
    const RunningBatch* Batch() const { return m_batch.get(); }
    void CancelBatch() override;
    CAVConvertDlg* ProgressWindow() const { return m_progress.get(); }
    bool OpenFolderWhenDone() const { return m_openFolderWhenDone; }
    void SetOpenFolderWhenDone(bool open) override { m_openFolderWhenDone = open; }
    void KillBatchTimer() override { m_batchTimer.stop(); }
    bool BatchTimerActive() const { return m_batchTimer.isActive(); }
    // The batch timer ticks every 2000 ms; tests shorten it.
    void SetBatchTimerInterval(int milliseconds) { m_batchTimerInterval = milliseconds; }
    const QString& RememberedFolder() const { return m_rememberedFolder; }
    // Ends the batch (if any): waits for its worker, which a cancel has told to stop, then writes every row
    // of the batch from the final statuses and forgets the batch.
    void EndBatch();

    // The language pack in use, and switching to another one at once (written to the settings).
    const QString& LanguageFile() const { return m_languageFile; }
    void SwitchLanguage(const QString& languageFile);
    // The Help link's context menu: the six packs by their names, the one in use ticked; choosing one
    // switches to it. The caller owns the menu.
    QMenu* MakeLanguageMenu(QWidget* parent);

    // The smallest size of the window: every control of the template whole.
    QSize TemplateSize() const { return m_templateSize; }

    // The five preset choices as the hidden lists hold them.
    PresetPositions CurrentPresetPositions() const;

    // The window's own OK and Cancel operations do nothing: only closing ends it.
    void accept() override {}
    void reject() override {}

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildControls();
    void Initialise();
    void ApplyTexts();
    void ApplyCaptions();
    void FitColumns();
    void InstallQtTranslations();
    void SetUpKeyboard();
    void SetUpImageButtons();
    void RecordLayout();
    void LayOutControls();
    void SetUpToolTips();
    void SetUpFileList();
    void SetUpPresetLists();
    void ConnectCommands();

    void FileProbed(int index, const MediaFacts& facts);
    void AddingFinished();
    QString ReadOutputFolderText() const;
    void ResetProgressWindow(int entries);
    void ShowRowOutcome(int entry);
    QComboBox* PresetCombo(PresetList list) const;

    CCheckListCtrl* m_fileList = nullptr;
    QComboBox* m_outputFolderBox = nullptr;
    std::unique_ptr<RunningBatch> m_batch;
    std::unique_ptr<CAVConvertDlg> m_progress;
    QTimer m_batchTimer;
    ProbeQueue m_probes;
    QStringList m_pendingPaths; // the paths being probed, in the order they were added
    QStringList m_refusedNames; // names of the refused files of the current adding

    QString m_languageFile;
    QStringList m_languageNames; // LANGUAGE name1 ... name6
    std::unique_ptr<QTranslator> m_qtTranslator;
    QSize m_templateSize;
    // Every shown control with its place at the template size, from which resizing lays them out.
    std::vector<std::pair<QWidget*, QRect>> m_templateGeometry;
    int m_pathColumnWidth = 0; // at the template size
    QString m_keepSourceText;
    QString m_outputFolder;     // the folder text as read at the last start
    QString m_rememberedFolder; // the last folder that passed the checks
    bool m_openFolderWhenDone = true;
    bool m_closingWindow = false; // the window is closing: a batch's end opens no folder and no message
    int m_batchTimerInterval = 2000;

    std::vector<QTreeWidgetItem*> m_batchRows; // the row of each entry of the running batch
    std::vector<bool> m_rowShown;              // the entry's final status is already in its row
};

} // namespace quarnix
