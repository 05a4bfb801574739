#include "ui/progress/AVConvertDlg.h"

#include "controls/Label.h"
#include "settings/LanguageTexts.h"
#include "settings/Settings.h"
#include "ui/templates/DialogBuilder.h"
#include "ui/templates/ProgressDialogTemplate.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

namespace quarnix {

CAVConvertDlg::CAVConvertDlg(QWidget* parent) : QDialog(parent) {
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    DialogBuilder([](const ControlTemplate& control, QWidget* owner) -> QWidget* {
        return control.kind == ControlKind::Label ? new CLabel(owner) : nullptr;
    }).Build(*this, ProgressDialogTemplate());
    m_currentFile = FindControl<CLabel>(this, 1018);
    m_batch = FindControl<CLabel>(this, 1019);
    m_fileBar = FindControl<QProgressBar>(this, 1011);
    m_batchBar = FindControl<QProgressBar>(this, 1012);
    m_openFolder = FindControl<QCheckBox>(this, 1148);
    m_stop = FindControl<QPushButton>(this, 1000);
    m_stop->setAutoDefault(false);
    m_stop->setDefault(false);
    connect(m_stop, &QPushButton::clicked, this, &CAVConvertDlg::Stop);
    connect(m_openFolder, &QCheckBox::toggled, this, [this](bool checked) {
        if (m_host != nullptr) {
            m_host->SetOpenFolderWhenDone(checked);
        }
    });
}

void CAVConvertDlg::Initialise() {
    m_closing = false;
    m_openFolder->setChecked(ReadOpenFolderWhenDone());
    const ProgressTexts texts = ReadProgressTexts();
    FindControl<QLabel>(this, 1158)->setText(texts.currentFileCaption);
    FindControl<QLabel>(this, 1159)->setText(texts.batchCaption);
    m_openFolder->setText(texts.openFolderBox);
    m_openFolder->setFont(font());
    FitCaptionToWidth(*m_openFolder);
    m_fileBar->setAccessibleName(texts.fileBarName);
    m_batchBar->setAccessibleName(texts.batchBarName);
    FindControl<QCheckBox>(this, 1120)->setChecked(true);
    m_stop->setText(texts.stopButton);
    m_stop->setToolTip(texts.stopButton);
    m_stop->setAccessibleName(texts.stopButton.isEmpty() ? QStringLiteral("Stop") : texts.stopButton);
    setWindowTitle(texts.windowTitle);
}

void CAVConvertDlg::showEvent(QShowEvent* event) {
    Initialise();
    QDialog::showEvent(event);
    // Space or Return then presses Stop, not the check box beside it.
    m_stop->setFocus(Qt::OtherFocusReason);
}

void CAVConvertDlg::Stop() {
    if (m_host != nullptr) {
        m_host->CancelBatch();
        m_host->KillBatchTimer();
    }
    m_closing = true;
    done(QDialog::Accepted);
}

void CAVConvertDlg::CloseRoutine() {
    WriteOpenFolderWhenDone(m_openFolder->isChecked());
    Stop();
}

void CAVConvertDlg::closeEvent(QCloseEvent* event) {
    if (!m_closing && isVisible()) {
        CloseRoutine();
    }
    event->accept();
}

void CAVConvertDlg::keyPressEvent(QKeyEvent* event) {
    // Escape stops the batch as the close box does.
    if (event->key() == Qt::Key_Escape && !m_closing && isVisible()) {
        event->accept();
        CloseRoutine();
        return;
    }
    if (IsDialogCloseKey(event->key())) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

} // namespace quarnix
