// Set-up of the main window and its window-level behaviour (close, keys, moving, drops).
#include "TessalyDlg.h"

#include "CheckListCtrl.h"
#include "ControlButton.h"
#include "DialogBuilder.h"
#include "HyperLink.h"
#include "Label.h"
#include "LanguageTexts.h"
#include "MainDialogTemplate.h"
#include "Resources.h"
#include "Settings.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QDropEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMimeData>
#include <QMouseEvent>
#include <QRadioButton>
#include <QTabBar>
#include <QWindow>

namespace quarnix {

namespace {

const QColor kDialogBackground(187, 222, 251);
const QColor kListBackground(241, 250, 233);

struct ImageButtonPictures {
    int id;
    int normal; // also the pressed picture
    int hover;
    int shape; // 0: rectangular
};

// In the order in which the buttons get their pictures.
constexpr ImageButtonPictures kImageButtons[] = {
    {1076, 335, 337, 335}, {1255, 178, 336, 178}, {1254, 331, 340, 331},
    {1282, 214, 341, 214}, {1099, 295, 338, 0},   {1286, 268, 339, 268},
};

constexpr int kColumnWidths[] = {155, 60, 90, 75, 70, 65, 40, 0};

} // namespace

CTessalyDlg::CTessalyDlg(QWidget* parent)
    : QDialog(parent), m_progress(std::make_unique<CAVConvertDlg>(this)) {
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    setWindowIcon(LoadIconResource(kProgramIconId));
    setAcceptDrops(true);
    m_batchTimer.setTimerType(Qt::CoarseTimer);
    connect(&m_batchTimer, &QTimer::timeout, this, &CTessalyDlg::BatchTimer);
    connect(&m_probes, &ProbeQueue::Probed, this, &CTessalyDlg::FileProbed);
    connect(&m_probes, &ProbeQueue::Finished, this, &CTessalyDlg::AddingFinished);
    BuildControls();
    Initialise();
    ConnectCommands();
    qApp->installEventFilter(this);
}

CTessalyDlg::~CTessalyDlg() {
    qApp->removeEventFilter(this);
    m_batchTimer.stop();
    m_closingWindow = true;
    CancelBatch();
    EndBatch();
    m_probes.Cancel();
}

void CTessalyDlg::BuildControls() {
    DialogBuilder([](const ControlTemplate& control, QWidget* parent) -> QWidget* {
        switch (control.kind) {
        case ControlKind::ImageButton: {
            auto* button = new CControlButton(parent);
            button->setText(QString::fromUtf8(control.text));
            return button;
        }
        case ControlKind::ListView:
            return new CCheckListCtrl(parent);
        case ControlKind::Link:
            return new CHyperLink(parent);
        case ControlKind::Label:
            return new CLabel(parent);
        default:
            return nullptr;
        }
    }).Build(*this, MainDialogTemplate());
    m_fileList = FindControl<CCheckListCtrl>(this, 1114);
    m_outputFolderBox = FindControl<QComboBox>(this, 1077);
}

void CTessalyDlg::Initialise() {
    const MainWindowSettings settings = ReadMainWindowSettings();
    auto* languages = FindControl<QComboBox>(this, 1105);
    languages->addItems(settings.languageNames);
    languages->setCurrentIndex(LanguagePosition(settings.languageFile));
    m_languageFile = settings.languageFile;

    QPalette background = palette();
    background.setColor(QPalette::Window, kDialogBackground);
    setPalette(background);
    setAutoFillBackground(true);

    m_openFolderWhenDone = settings.openFolderWhenDone;

    auto* tabs = FindControl<QTabBar>(this, 1160);
    tabs->addTab(ReadPackText(m_languageFile, "JIEMIAN", "spjq"));
    tabs->addTab(ReadPackText(m_languageFile, "JIEMIAN", "sphb"));
    m_keepSourceText = ReadPackText(m_languageFile, "JIEMIAN", "ywjyy");

    SetUpFileList();
    LoadTexts();
    SetUpImageButtons();
    SetUpToolTips();

    QPalette listColours = m_fileList->palette();
    listColours.setColor(QPalette::Base, kListBackground);
    m_fileList->setPalette(listColours);

    m_outputFolder = m_rememberedFolder = settings.outputFolder;
    SetUpPresetLists();
    FindControl<QRadioButton>(this, 1256)->setChecked(true);
    m_outputFolderBox->setEditText(m_outputFolder);
}

void CTessalyDlg::SetUpFileList() {
    m_fileList->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_fileList->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_fileList->setRootIsDecorated(false);
    m_fileList->setUniformRowHeights(true);
    // A path too long for its column keeps its end, the file name, in view; the condensed cut of the
    // dialog font fits the eight columns into the list's width.
    m_fileList->setTextElideMode(Qt::ElideLeft);
    QFont listFont = m_fileList->font();
    listFont.setStretch(QFont::Condensed);
    m_fileList->setFont(listFont);
    m_fileList->header()->setFont(listFont);
    m_fileList->setColumnCount(8);
    // The headers are read from the pack here; the texts loaded later set them again.
    QStringList headers;
    for (const char* key : {"ywj", "spgs", "spcd", "spdx"}) {
        headers << ReadPackText(m_languageFile, "JIEMIAN", key);
    }
    headers << QString::fromLatin1(kVideoQualityHeader);
    for (const char* key : {"zl", "zt"}) {
        headers << ReadPackText(m_languageFile, "JIEMIAN", key);
    }
    headers << QString::fromLatin1(kProfileHeader);
    m_fileList->setHeaderLabels(headers);
    // Each column is at least as wide as its header text, so that no header is cut; the path column
    // gives up what the others need beyond their usual widths, so that the status column stays in view.
    const QFontMetrics headerMetrics(m_fileList->header()->font());
    int extra = 0;
    for (int column = 1; column < 7; ++column) {
        const int width =
            std::max(kColumnWidths[column], headerMetrics.horizontalAdvance(headers[column]) + 12);
        extra += width - kColumnWidths[column];
        m_fileList->setColumnWidth(column, width);
    }
    m_fileList->setColumnWidth(0, std::max(kColumnWidths[0] - extra, 100));
    m_fileList->setColumnWidth(7, 0);
    // The profile column has no width: it holds data, never shown.
    m_fileList->setColumnHidden(7, true);
    m_fileList->header()->setStretchLastSection(false);
    m_fileList->InitHeaderCheck();
}

void CTessalyDlg::LoadTexts() {
    quarnix::LoadTexts(m_languageFile);

    auto* link = FindControl<CHyperLink>(this, 1180);
    link->setText(Text(u"JIEMIAN", u"zysybrj"));
    link->setFont(TemplateFont("Microsoft Sans Serif", 10));
    link->Attach();
    link->SetLinkAddress(LinkAddressUrl(Text(u"APPLICATION", u"url")).toString());
    link->SetUnderlineMode(CHyperLink::kUnderlineAlways);

    FindControl<QLabel>(this, 1018)->setText(Text(u"JIEMIAN", u"ksjq"));
    FindControl<QLabel>(this, 1019)->setText(Text(u"JIEMIAN", u"jsjq"));
    FindControl<QLabel>(this, 1157)->setText(Text(u"JIEMIAN", u"jqsj"));

    for (int column = 0; column < 8; ++column) {
        m_fileList->headerItem()->setText(column, ColumnHeader(column));
    }
    auto* tabs = FindControl<QTabBar>(this, 1160);
    tabs->setTabText(0, Text(u"JIEMIAN", u"spjq"));
    tabs->setTabText(1, Text(u"JIEMIAN", u"sphb"));
    tabs->setCurrentIndex(1);

    setWindowTitle(MainWindowTitle());
}

void CTessalyDlg::SetUpToolTips() {
    // Tool tips by control id, from the loaded texts; a picture-only control is named for screen readers by
    // its tool tip or, without one, by its template caption.
    for (const ControlTemplate& control : MainDialogTemplate().controls) {
        QWidget* widget = FindControl(this, control.id);
        const std::optional<QString> tip = ToolTipText(control.id);
        const QString text = tip ? *tip : LoadStringResource(control.id);
        // The Help link shows where it leads.
        auto* link = qobject_cast<CHyperLink*>(widget);
        widget->setToolTip(link != nullptr && text.isEmpty() ? link->LinkAddress() : text);
        if (control.kind == ControlKind::ImageButton) {
            widget->setAccessibleName(text.isEmpty() ? QString::fromUtf8(control.text) : text);
        }
    }
}

void CTessalyDlg::SetUpImageButtons() {
    for (const ImageButtonPictures& pictures : kImageButtons) {
        auto* button = FindControl<CControlButton>(this, pictures.id);
        if (pictures.shape != 0) {
            button->SetShapeBitmap(pictures.shape);
        }
        button->SetBitmaps(pictures.hover, pictures.normal, pictures.normal);
        button->setCursor(Qt::PointingHandCursor);
        // A button is as large as its picture, from the template's top-left corner.
        button->resize(button->sizeHint());
    }
    FindControl(this, 1099)->setEnabled(true);

    // The two folder buttons overlap by two dialog units in the template; keep them side by side.
    QWidget* browse = FindControl(this, 1076);
    QWidget* openFolder = FindControl(this, 1286);
    if (openFolder->x() <= browse->geometry().right()) {
        openFolder->move(browse->geometry().right() + 3, openFolder->y());
    }
    // And the window holds every visible control whole.
    QRect used(QPoint(0, 0), size());
    for (QWidget* child : findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
        if (!child->isHidden()) {
            used |= child->geometry().adjusted(0, 0, 4, 4);
        }
    }
    setFixedSize(used.size());
}

void CTessalyDlg::SetUpPresetLists() {
    const PresetPositions positions = RestorePresetPositions();
    const std::pair<PresetList, int> restored[] = {
        {PresetList::Format, positions.format},         {PresetList::FrameSize, positions.frameSize},
        {PresetList::FrameRate, positions.frameRate},   {PresetList::VideoQuality, positions.videoQuality},
        {PresetList::SampleRate, positions.sampleRate}, {PresetList::AudioQuality, positions.audioQuality},
        {PresetList::Channels, positions.channels},
    };
    for (const auto& [list, position] : restored) {
        QComboBox* combo = PresetCombo(list);
        combo->addItems(PresetItems(list, m_keepSourceText));
        combo->setCurrentIndex(position);
    }
}

QComboBox* CTessalyDlg::PresetCombo(PresetList list) const {
    return FindControl<QComboBox>(this, PresetControlId(list));
}

PresetPositions CTessalyDlg::CurrentPresetPositions() const {
    PresetPositions positions;
    positions.format = PresetCombo(PresetList::Format)->currentIndex();
    positions.frameSize = PresetCombo(PresetList::FrameSize)->currentIndex();
    positions.frameRate = PresetCombo(PresetList::FrameRate)->currentIndex();
    positions.videoQuality = PresetCombo(PresetList::VideoQuality)->currentIndex();
    positions.sampleRate = PresetCombo(PresetList::SampleRate)->currentIndex();
    positions.audioQuality = PresetCombo(PresetList::AudioQuality)->currentIndex();
    positions.channels = PresetCombo(PresetList::Channels)->currentIndex();
    return positions;
}

void CTessalyDlg::ConnectCommands() {
    const std::pair<int, void (CTessalyDlg::*)()> commands[] = {
        {1255, &CTessalyDlg::AddFilesFromDialog}, {1000, &CTessalyDlg::AddFilesFromDialog},
        {1183, &CTessalyDlg::AddFilesFromDialog}, {1254, &CTessalyDlg::RemoveSelectedFile},
        {1282, &CTessalyDlg::RemoveAllFiles},     {1076, &CTessalyDlg::BrowseOutputFolder},
        {1286, &CTessalyDlg::OpenOutputFolder},   {1099, &CTessalyDlg::StartRotation},
    };
    for (const auto& [id, command] : commands) {
        connect(FindControl<QAbstractButton>(this, id), &QAbstractButton::clicked, this, command);
    }
}

void CTessalyDlg::closeEvent(QCloseEvent* event) {
    // Closing during a batch stops it as Stop does and waits for the worker to clean up: no process goes on
    // writing after the window has gone.
    m_closingWindow = true;
    m_batchTimer.stop();
    CancelBatch();
    if (m_progress->isVisible()) {
        m_progress->Stop();
    }
    EndBatch();
    m_probes.Cancel();
    SavePresetPositions(CurrentPresetPositions());
    done(QDialog::Accepted);
    event->accept();
}

void CTessalyDlg::keyPressEvent(QKeyEvent* event) {
    if (IsDialogCloseKey(event->key())) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

bool CTessalyDlg::eventFilter(QObject* watched, QEvent* event) {
    // The Delete key removes a row whichever control of this window has the focus, the folder box included.
    if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Delete) {
        auto* widget = qobject_cast<QWidget*>(watched);
        if (widget != nullptr && widget->window() == this && isEnabled()) {
            RemoveSelectedFile();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void CTessalyDlg::mousePressEvent(QMouseEvent* event) {
    // A press on the background drags the whole window, as a press on its title bar would.
    if (event->button() == Qt::LeftButton && windowHandle() != nullptr) {
        windowHandle()->startSystemMove();
    }
    QDialog::mousePressEvent(event);
}

void CTessalyDlg::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls()) {
        event->acceptProposedAction();
    }
}

void CTessalyDlg::dropEvent(QDropEvent* event) {
    QStringList paths;
    for (const QUrl& url : event->mimeData()->urls()) {
        paths << (url.isLocalFile() ? QDir::toNativeSeparators(url.toLocalFile()) : url.toString());
    }
    event->acceptProposedAction();
    AddDroppedFiles(paths);
}

} // namespace quarnix
