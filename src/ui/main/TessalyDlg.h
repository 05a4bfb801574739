// CTessalyDlg: the main window. Its widgets come from dialog template 102; this class sets them up
// (texts, colours, pictures, presets, keyboard order), keeps the file list (the only store of the inputs),
// runs the commands of its buttons, follows a batch with its timer, switches the language (the Help link's
// context menu) and lays its controls out again when it is resized.
#pragma once

#include "core/PictureQueue.h"
#include "core/ProbeQueue.h"
#include "engine/Batch.h"
#include "engine/Probe.h"
#include "settings/OutputPresets.h"
#include "ui/progress/AVConvertDlg.h"

#include <QDialog>
#include <QHash>
#include <QImage>
#include <QStringList>
#include <QTimer>
#include <array>
#include <memory>
#include <utility>
#include <vector>

class QComboBox;
class QKeyEvent;
class QMenu;
class QTranslator;
class QTreeWidgetItem;

namespace quarnix {

class CCheckListCtrl;

// Item data of the path column: the probed duration in microseconds, and the row's own turn.
inline constexpr int kDurationRole = Qt::UserRole + 1;
inline constexpr int kTurnRole = Qt::UserRole + 2;
inline constexpr int kTurnPicturesRole = Qt::UserRole + 3;

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
    // one message once all are probed. A folder adds the videos inside it and its subfolders. Ignored while
    // an earlier adding is still probing.
    void AddFiles(const QStringList& paths);
    // True while files are being probed.
    bool Adding() const;
    void AppendFileRow(int row, const QString& path, const MediaFacts& facts);

    // Commands.
    void RemoveSelectedFile();
    void RemoveAllFiles();
    void BrowseOutputFolder();
    void OpenOutputFolder();
    // Opens the folder in the file manager; says so when no program on this computer can open it.
    void OpenFolderOrSay(const QString& folder);
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
    // Shows the progress window until the batch ends or is stopped.
    void RunProgressWindow();
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

    // A row's own turn (90 degrees clockwise until one is chosen), and setting it: its badge, tooltip and
    // tick follow. A row turned by nothing is unticked, since there is nothing to write.
    static Turn RowTurn(const QTreeWidgetItem& item);
    // Whether the row's pictures are turned by a re-encode ("Turn the pictures") rather than marked; the
    // check box sets it for the selected rows (every row when none is selected) and for new rows.
    static bool RowTurnsPictures(const QTreeWidgetItem& item);
    void SetRowTurnsPictures(QTreeWidgetItem& item, bool turnPictures);
    void SetRowTurn(QTreeWidgetItem& item, const Turn& turn);
    // The turn the rotation group shows; new rows get it.
    Turn ChosenTurn() const;
    // The selected rows turned further by the degrees (Ctrl+Right, Ctrl+Left), or given one turn.
    void TurnSelectedRows(int byDegrees);
    void SetSelectedRowsTurn(const Turn& turn);
    // The rows the rotation group and "Turn the pictures" set: the selected ones, or every row.
    QList<QTreeWidgetItem*> RowsTheGroupSets() const;
    // Ctrl+Right, Ctrl+Left and Ctrl+0 on the list; true when the key was one of them.
    bool RowTurnKey(const QKeyEvent& event);
    // The rows' context menu: turn right, left, half round, as recorded. The caller owns the menu.
    QMenu* MakeRowTurnMenu(QWidget* parent);
    // A turn in the pack's words ("Turn 90° clockwise", "As recorded").
    static QString TurnText(const Turn& turn);

    // The side of each of a row's two pictures (now, and after its turn).
    static constexpr int kPictureSide = 26;
    // True while pictures of listed files are still being made.
    bool MakingPictures() const { return m_pictures.Busy(); }
    // The picture of a listed file as players show it now, or after the turn; null until it is made, or
    // when the file has no decodable picture.
    QImage RowPictureShown(const QString& path, const std::optional<Turn>& turn) const;

    // The five preset choices as the hidden lists hold them.
    PresetPositions CurrentPresetPositions() const;

    // The window's own OK and Cancel operations do nothing: only closing ends it.
    void accept() override {}
    void reject() override {}

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
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
    void SetUpRowTurns();
    void SetUpRowPictures();
    // Moves the window so that its title bar and as much of it as fits are on its screen's free area.
    void KeepOnScreen();
    // Asks for the picture of a newly listed file, and then for the rows in view first.
    void RequestPicture(const QString& path);
    void RequestPicturesInView();
    // Draws the row's pictures: as players show it now, and after its turn (placeholders until made).
    void ShowRowPictures(QTreeWidgetItem& item);

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
    PictureQueue m_pictures{kPictureSide * 2};
    struct RowPicture {
        bool made = false;      // the queue has answered for this file
        QImage picture;         // as stored; null when the file has no decodable picture
        DisplayTransform shown; // how players show it now
    };
    QHash<QString, RowPicture> m_rowPictures; // per file path, kept while the window lives
    bool m_viewRequestPending = false;
    int m_lastPictureRow = -1;  // where the search for the next picture's row starts
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
    bool m_placedOnScreen = false; // the first show has placed the window on its screen
    bool m_batchReplaces = false;  // the running (or last) batch replaces its originals

    std::vector<QTreeWidgetItem*> m_batchRows; // the row of each entry of the running batch
    std::vector<bool> m_rowShown;              // the entry's final status is already in its row
};

} // namespace quarnix
