// CAVConvertDlg: the modal progress window of a running batch (dialog template 129). It shows what the
// main window's batch timer writes into its labels and bars, stops the batch, and remembers whether the
// output folder is to be opened at the end.
#pragma once

#include <QDialog>

class QCheckBox;
class QProgressBar;
class QPushButton;

namespace quarnix {

class CLabel;

// What the progress window needs of the window that runs the batch.
class ProgressHost {
public:
    virtual ~ProgressHost() = default;
    // Tells the running batch to stop now; returns at once.
    virtual void CancelBatch() = 0;
    virtual void SetOpenFolderWhenDone(bool open) = 0;
    virtual void KillBatchTimer() = 0;
};

class CAVConvertDlg : public QDialog {
    Q_OBJECT
public:
    explicit CAVConvertDlg(QWidget* parent = nullptr);

    // The window that runs the batch; set before every run.
    void SetHost(ProgressHost* host) { m_host = host; }

    // Stop: cancels the batch, stops the batch timer and closes the window; the host then waits for the
    // worker to clean up and writes the rows.
    void Stop();
    // Close routine (close box, and the batch timer at the end of a batch): stores the state of the
    // "Open directory when finished" box, then stops.
    void CloseRoutine();

    CLabel* CurrentFileLabel() const { return m_currentFile; }
    CLabel* BatchLabel() const { return m_batch; }
    QProgressBar* FileBar() const { return m_fileBar; }
    QProgressBar* BatchBar() const { return m_batchBar; }
    QCheckBox* OpenFolderBox() const { return m_openFolder; }
    QPushButton* StopButton() const { return m_stop; }

    // Enter and Escape never close the window.
    void accept() override {}
    void reject() override {}

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void Initialise();

    ProgressHost* m_host = nullptr;
    CLabel* m_currentFile = nullptr;
    CLabel* m_batch = nullptr;
    QProgressBar* m_fileBar = nullptr;
    QProgressBar* m_batchBar = nullptr;
    QCheckBox* m_openFolder = nullptr;
    QPushButton* m_stop = nullptr;
    bool m_closing = false;
};

} // namespace quarnix
