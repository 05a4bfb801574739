// Set-up of the main window and its window-level behaviour (close, keys, moving, drops).
#include "ui/main/TessalyDlg.h"
#include "ui/main/WindowTrace.h"

#include "ButtonLayout.h"
#include "Resources.h"
#include "controls/CheckListCtrl.h"
#include "controls/ControlButton.h"
#include "controls/HyperLink.h"
#include "controls/Label.h"
#include "platform/widgets/MessageBox.h"
#include "settings/LanguageTexts.h"
#include "settings/Settings.h"
#include "ui/main/ControlTexts.h"
#include "ui/templates/DialogBuilder.h"
#include "ui/templates/MainDialogTemplate.h"

#include <QActionGroup>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QDropEvent>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainterPath>
#include <QRadioButton>
#include <QScreen>
#include <QShortcut>
#include <QTabBar>
#include <QTimer>
#include <QTranslator>
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
constexpr int kStatusColumn = 6;
// Room beside a column's text: the cell margins and the header's sort-indicator space.
constexpr int kColumnPadding = 16;
// What the path column keeps beside the row pictures: room for the end of a file name.
constexpr int kMinPathColumnWidth = 80;

// The pack texts of the template's captions (the group box, the radio buttons, the output label and the
// picture buttons).
constexpr std::pair<int, const char16_t*> kCaptionKeys[] = {
    {1172, u"rotation"},     {1256, u"rotate90"},     {1007, u"rotate180"},        {1008, u"rotate270"},
    {1301, u"turnpictures"}, {1302, u"keepmatroska"}, {1303, u"replaceoriginals"}, {1276, u"output"},
    {1255, u"add"},          {1254, u"remove"},       {1282, u"removeall"},        {1099, u"start"},
    {1076, u"browse"},       {1286, u"findtarget"},
};

// Reading order of the window for the Tab key; the Help link closes the circle.
constexpr int kTabChain[] = {1114, 1303, 1256, 1007, 1008, 1301, 1302, 1077,
                             1076, 1286, 1255, 1254, 1282, 1099, 1180};

QFont ButtonCaptionFont(int pixels) {
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(pixels);
    font.setBold(true);
    font.setHintingPreference(QFont::PreferFullHinting);
    font.setStyleStrategy(QFont::PreferAntialias);
    return font;
}

QRect ToRect(const button_layout::Box& box) {
    return {box.left, box.top, box.width, box.height};
}

} // namespace

CTessalyDlg::CTessalyDlg(QWidget* parent)
    : QDialog(parent), m_progress(std::make_unique<CAVConvertDlg>(this)) {
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint);
    setWindowIcon(LoadIconResource(kProgramIconId));
    setAcceptDrops(true);
    m_batchTimer.setTimerType(Qt::CoarseTimer);
    connect(&m_batchTimer, &QTimer::timeout, this, &CTessalyDlg::BatchTimer);
    connect(&m_probes, &ProbeQueue::Probed, this, &CTessalyDlg::FileProbed);
    connect(&m_probes, &ProbeQueue::Finished, this, &CTessalyDlg::AddingFinished);
    window_trace::StartStallWatch(this);
    BuildControls();
    // The row pictures set the list's icon size, which the column widths take into account.
    SetUpRowPictures();
    Initialise();
    ConnectCommands();
    SetUpRowTurns();
    qApp->installEventFilter(this);
}

CTessalyDlg::~CTessalyDlg() {
    qApp->removeEventFilter(this);
    m_batchTimer.stop();
    m_closingWindow = true;
    CancelBatch();
    EndBatch();
    m_probes.Cancel();
    if (m_qtTranslator) {
        QCoreApplication::removeTranslator(m_qtTranslator.get());
    }
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
    m_languageNames = settings.languageNames;
    m_languageFile = settings.languageFile.isEmpty() ? CurrentLanguageFile() : settings.languageFile;
    auto* languages = FindControl<QComboBox>(this, 1105);
    languages->addItems(settings.languageNames);
    languages->setCurrentIndex(LanguagePosition(m_languageFile));
    InstallQtTranslations();

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
    SetUpImageButtons();
    ApplyTexts();
    SetUpKeyboard();

    QPalette listColours = m_fileList->palette();
    listColours.setColor(QPalette::Base, kListBackground);
    m_fileList->setPalette(listColours);

    m_outputFolder = m_rememberedFolder = settings.outputFolder;
    SetUpPresetLists();
    FindControl<QRadioButton>(this, 1256)->setChecked(true);
    auto* keepMatroska = FindControl<QCheckBox>(this, 1302);
    keepMatroska->setChecked(ReadKeepMatroska());
    connect(keepMatroska, &QCheckBox::toggled, this, [](bool keep) { WriteKeepMatroska(keep); });
    // Replacing the originals is off at every start; the first time it is chosen, the user is asked once
    // whether the originals may really be replaced. The output folder has no use while it is on.
    auto* replace = FindControl<QCheckBox>(this, 1303);
    connect(replace, &QCheckBox::toggled, this, [this, replace](bool on) {
        if (on && ReadSetting(setting::kRotateSection, QStringLiteral("replaceasked"), QString()) != u"1") {
            if (!AskQuestion(Text(u"TISHI", u"replaceask"), this)) {
                replace->setChecked(false);
                return;
            }
            WriteSetting(setting::kRotateSection, QStringLiteral("replaceasked"), QStringLiteral("1"));
        }
        for (int id : {1077, 1076}) {
            FindControl(this, id)->setEnabled(!on);
        }
    });
    m_outputFolderBox->setEditText(m_outputFolder);

    RecordLayout();
    const QSize remembered = ReadWindowSize();
    if (remembered.isValid()) {
        resize(remembered.expandedTo(m_templateSize));
    }
}

void CTessalyDlg::InstallQtTranslations() {
    // Qt's own dialogs and buttons (the file dialog's Open and Cancel, a message box's OK) in the pack's
    // language, from Qt's translations where they are installed.
    if (m_qtTranslator) {
        QCoreApplication::removeTranslator(m_qtTranslator.get());
        m_qtTranslator.reset();
    }
    const QString language = QtLanguageOfPack(m_languageFile);
    if (language.isEmpty() || language == u"en") {
        return;
    }
    auto translator = std::make_unique<QTranslator>();
    if (translator->load(QStringLiteral("qtbase_") + language,
                         QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        QCoreApplication::installTranslator(translator.get());
        m_qtTranslator = std::move(translator);
    }
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
    headers << ReadPackText(m_languageFile, "JIEMIAN", "videoquality");
    for (const char* key : {"zl", "zt"}) {
        headers << ReadPackText(m_languageFile, "JIEMIAN", key);
    }
    headers << QString::fromLatin1(kProfileHeader);
    m_fileList->setHeaderLabels(headers);
    // The profile column has no width: it holds data, never shown.
    m_fileList->setColumnWidth(7, 0);
    m_fileList->setColumnHidden(7, true);
    m_fileList->header()->setStretchLastSection(false);
    m_fileList->InitHeaderCheck();
}

void CTessalyDlg::FitColumns() {
    // Each column is at least as wide as its header text, and the status column as its longest status
    // text, so that nothing is cut. Where the template widths leave the path column too little room (a pack
    // whose font makes the dialog narrower, as Japanese does), they give up room in proportion, never below
    // their texts, so that the last column stays in view without a horizontal scroll bar.
    const QFontMetrics headerMetrics(m_fileList->header()->font());
    const QFontMetrics cellMetrics(m_fileList->font());
    std::array<int, 7> textWidths{};
    for (int column = 1; column < 7; ++column) {
        int width = headerMetrics.horizontalAdvance(ColumnHeader(column)) + kColumnPadding;
        if (column == kStatusColumn) {
            for (const QString& status :
                 {Text(u"JIEMIAN", u"zb"), Text(u"TISHI", u"wc"), Text(u"TISHI", u"sb")}) {
                width = std::max(width, cellMetrics.horizontalAdvance(status) + kColumnPadding);
            }
        }
        textWidths[static_cast<std::size_t>(column)] = width;
    }
    // The path column takes what the list's width leaves (at the template size), so that no column needs
    // the horizontal scroll bar while the list has no vertical one.
    const int grown = m_templateSize.isValid() ? std::max(width() - m_templateSize.width(), 0) : 0;
    const int listRoom = m_fileList->width() - grown - 2 * m_fileList->frameWidth();
    const int pathNeeds = kMinPathColumnWidth + m_fileList->iconSize().width();
    std::array<int, 7> widths{};
    for (int percent = 100; percent >= 40; percent -= 5) {
        int others = 0;
        for (int column = 1; column < 7; ++column) {
            const auto at = static_cast<std::size_t>(column);
            widths[at] = std::max(kColumnWidths[column] * percent / 100, textWidths[at]);
            others += widths[at];
        }
        if (listRoom - others >= pathNeeds) {
            break;
        }
    }
    int others = 0;
    for (int column = 1; column < 7; ++column) {
        m_fileList->setColumnWidth(column, widths[static_cast<std::size_t>(column)]);
        others += widths[static_cast<std::size_t>(column)];
    }
    m_pathColumnWidth = std::max(listRoom - others, 100);
    m_fileList->setColumnWidth(0, m_pathColumnWidth + grown);
}

void CTessalyDlg::ApplyTexts() {
    quarnix::LoadTexts(m_languageFile);

    auto* link = FindControl<CHyperLink>(this, 1180);
    if (!link->IsAttached()) {
        link->setText(Text(u"JIEMIAN", u"zysybrj"));
        link->setFont(TemplateFont("Microsoft Sans Serif", 10));
        // Room round the text for the focus mark.
        link->setContentsMargins(2, 1, 2, 1);
        link->Attach();
    } else {
        link->SetLinkText(Text(u"JIEMIAN", u"zysybrj"));
    }
    link->SetLinkAddress(LinkAddressUrl(Text(u"APPLICATION", u"url")).toString());
    link->SetUnderlineMode(CHyperLink::kUnderlineAlways);
    link->SetFailureCaption(Text(u"TISHI", u"linkfailed"));
    link->SetNoOpenerText(Text(u"TISHI", u"noopener"));
    link->SetOpenFailedText(Text(u"TISHI", u"openfailed"));
    link->setAccessibleName(link->text());

    FindControl<QLabel>(this, 1018)->setText(Text(u"JIEMIAN", u"ksjq"));
    FindControl<QLabel>(this, 1019)->setText(Text(u"JIEMIAN", u"jsjq"));
    FindControl<QLabel>(this, 1157)->setText(Text(u"JIEMIAN", u"jqsj"));

    for (int column = 0; column < 8; ++column) {
        m_fileList->headerItem()->setText(column, ColumnHeader(column));
    }
    FitColumns();
    auto* tabs = FindControl<QTabBar>(this, 1160);
    tabs->setTabText(0, Text(u"JIEMIAN", u"spjq"));
    tabs->setTabText(1, Text(u"JIEMIAN", u"sphb"));
    tabs->setCurrentIndex(1);

    ApplyCaptions();
    SetUpToolTips();
    m_fileList->setAccessibleName(Text(u"JIEMIAN", u"filelist"));
    m_outputFolderBox->setAccessibleName(Text(u"JIEMIAN", u"output"));
    // The folder box's own text field is what a screen reader meets when typing a folder.
    if (QLineEdit* field = m_outputFolderBox->lineEdit()) {
        field->setAccessibleName(Text(u"JIEMIAN", u"outputfield"));
    }
    m_fileList->SetEmptyText(Text(u"JIEMIAN", u"emptylist"));
    for (int id : {1301, 1302, 1303}) {
        auto* box = FindControl<QCheckBox>(this, id);
        box->setAccessibleName(box->text());
    }

    setWindowTitle(MainWindowTitle());
}

void CTessalyDlg::ApplyCaptions() {
    for (const auto& [id, key] : kCaptionKeys) {
        QWidget* widget = FindControl(this, id);
        const QString text = Text(u"JIEMIAN", QStringView(key));
        if (auto* group = qobject_cast<QGroupBox*>(widget)) {
            group->setTitle(text);
        } else if (auto* label = qobject_cast<QLabel*>(widget)) {
            label->setText(text);
        } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
            button->setText(text);
        }
        if (qobject_cast<QRadioButton*>(widget) != nullptr || qobject_cast<QCheckBox*>(widget) != nullptr ||
            qobject_cast<QLabel*>(widget) != nullptr) {
            // Fitted afresh from the window's font: another language may need less room, or more.
            widget->setFont(font());
            FitCaptionToWidth(*widget);
        }
    }
    // The three rotation choices share the font of the one that needed the most fitting.
    const auto stretch = [](const QFont& font) {
        return font.stretch() == QFont::AnyStretch ? 100 : font.stretch();
    };
    QFont radioFont = font();
    for (int id : {1256, 1007, 1008}) {
        const QFont fitted = FindControl(this, id)->font();
        if (fitted.pointSize() < radioFont.pointSize() ||
            (fitted.pointSize() == radioFont.pointSize() && stretch(fitted) < stretch(radioFont))) {
            radioFont = fitted;
        }
    }
    for (int id : {1256, 1007, 1008}) {
        FindControl(this, id)->setFont(radioFont);
    }
    // The three icon buttons share one caption size, the largest at which each caption fits its box.
    int iconPixels = button_layout::kIconCaptionPixels;
    for (int id : {1255, 1254, 1282}) {
        const QString caption = FindControl<QAbstractButton>(this, id)->text();
        while (iconPixels > 8 && QFontMetrics(ButtonCaptionFont(iconPixels)).horizontalAdvance(caption) >
                                     button_layout::kIconCaption.width) {
            --iconPixels;
        }
    }
    for (int id : {1255, 1254, 1282}) {
        FindControl(this, id)->setFont(ButtonCaptionFont(iconPixels));
    }
}

void CTessalyDlg::SetUpToolTips() {
    // Tool tips by control id, from the loaded texts. A picture button is named for screen readers by its
    // caption and described by its tool tip.
    for (const ControlTemplate& control : MainDialogTemplate().controls) {
        QWidget* widget = FindControl(this, control.id);
        const std::optional<QString> tip = ToolTipText(control.id);
        const QString text = tip ? *tip : LoadStringResource(control.id);
        // The Help link shows where it leads, and how to choose the language.
        if (auto* link = qobject_cast<CHyperLink*>(widget)) {
            widget->setToolTip(link->LinkAddress() + u'\n' + Text(u"HINT", u"language"));
            widget->setAccessibleDescription(widget->toolTip());
            continue;
        }
        widget->setToolTip(text);
        if (control.kind == ControlKind::ImageButton) {
            auto* button = qobject_cast<QAbstractButton*>(widget);
            const QString caption = button != nullptr ? button->text() : QString();
            widget->setAccessibleName(caption.isEmpty() ? text : caption);
            widget->setAccessibleDescription(text);
        }
    }
}

void CTessalyDlg::SetUpKeyboard() {
    for (std::size_t i = 0; i + 1 < std::size(kTabChain); ++i) {
        setTabOrder(FindControl(this, kTabChain[i]), FindControl(this, kTabChain[i + 1]));
    }
    auto* link = FindControl<CHyperLink>(this, 1180);
    link->setFocusPolicy(Qt::StrongFocus);
    // F1 opens the help from wherever the focus is in this window.
    auto* help = new QShortcut(QKeySequence(Qt::Key_F1), this);
    help->setContext(Qt::WindowShortcut);
    connect(help, &QShortcut::activated, link, &CHyperLink::Open);
    // The link's context menu (right button, or the menu key while it has the focus) chooses the language.
    link->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(link, &QWidget::customContextMenuRequested, this, [this, link](const QPoint& position) {
        std::unique_ptr<QMenu> menu(MakeLanguageMenu(this));
        menu->exec(link->mapToGlobal(position));
    });
    FindControl<QLabel>(this, 1276)->setBuddy(m_outputFolderBox);
    // Ctrl+O adds videos and Ctrl+Return starts, from wherever the focus is in this window.
    const std::pair<QKeySequence, void (CTessalyDlg::*)()> shortcuts[] = {
        {QKeySequence::Open, &CTessalyDlg::AddFilesFromDialog},
        {QKeySequence(Qt::CTRL | Qt::Key_Return), &CTessalyDlg::StartRotation},
        {QKeySequence(Qt::CTRL | Qt::Key_Enter), &CTessalyDlg::StartRotation},
    };
    for (const auto& [keys, command] : shortcuts) {
        auto* shortcut = new QShortcut(keys, this);
        shortcut->setContext(Qt::WindowShortcut);
        connect(shortcut, &QShortcut::activated, this, command);
    }
}

QMenu* CTessalyDlg::MakeLanguageMenu(QWidget* parent) {
    auto* menu = new QMenu(parent);
    menu->setObjectName(QStringLiteral("languageMenu"));
    menu->setTitle(Text(u"JIEMIAN", u"yy"));
    menu->setAccessibleName(Text(u"JIEMIAN", u"yy"));
    auto* group = new QActionGroup(menu);
    const QStringList files = LanguageFileNames();
    for (int i = 0; i < files.size(); ++i) {
        QString name = m_languageNames.value(i);
        if (name.isEmpty()) {
            // A settings file without the names: the language's own name for itself.
            name = QLocale(QLocale::codeToLanguage(QtLanguageOfPack(files[i]))).nativeLanguageName();
        }
        QAction* action = menu->addAction(name);
        action->setCheckable(true);
        action->setChecked(LanguagePosition(m_languageFile) == i);
        action->setData(files[i]);
        group->addAction(action);
        connect(action, &QAction::triggered, this, [this, file = files[i]] { SwitchLanguage(file); });
    }
    return menu;
}

void CTessalyDlg::SwitchLanguage(const QString& languageFile) {
    const QString ready = Text(u"JIEMIAN", u"zb");
    const QString done = Text(u"TISHI", u"wc");
    const QString failed = Text(u"TISHI", u"sb");
    WriteLanguageFile(languageFile);
    m_languageFile = languageFile;
    FindControl<QComboBox>(this, 1105)->setCurrentIndex(LanguagePosition(m_languageFile));
    InstallQtTranslations();
    ApplyTexts();
    // The rows' statuses in the new language.
    for (int row = 0; row < m_fileList->topLevelItemCount(); ++row) {
        QTreeWidgetItem* item = m_fileList->topLevelItem(row);
        const QString status = item->text(kStatusColumn);
        if (status == ready) {
            item->setText(kStatusColumn, Text(u"JIEMIAN", u"zb"));
        } else if (status == done) {
            item->setText(kStatusColumn, Text(u"TISHI", u"wc"));
        } else if (status == failed) {
            item->setText(kStatusColumn, Text(u"TISHI", u"sb"));
        }
    }
    // The "keep the source's value" item of the preset lists.
    m_keepSourceText = ReadPackText(m_languageFile, "JIEMIAN", "ywjyy");
    for (PresetList list : {PresetList::FrameSize, PresetList::FrameRate, PresetList::VideoQuality}) {
        PresetCombo(list)->setItemText(0, m_keepSourceText);
    }
}

void CTessalyDlg::SetUpImageButtons() {
    namespace layout = button_layout;
    const std::pair<int, QRect> captionBoxes[] = {
        {1255, ToRect(layout::kIconCaption)},
        {1254, ToRect(layout::kIconCaption)},
        {1282, ToRect(layout::kIconCaption)},
        {1099, ToRect(layout::kStartCaption)},
        {1076, ToRect(layout::PillCaption(layout::kBrowseWidth))},
        {1286, ToRect(layout::PillCaption(layout::kFindTargetWidth))},
    };
    for (const ImageButtonPictures& pictures : kImageButtons) {
        auto* button = FindControl<CControlButton>(this, pictures.id);
        if (pictures.shape != 0) {
            button->SetShapeBitmap(pictures.shape);
        }
        button->SetBitmaps(pictures.hover, pictures.normal, pictures.normal);
        button->setCursor(Qt::PointingHandCursor);
        // A button is as large as its picture, from the template's top-left corner.
        button->resize(button->sizeHint());
        // The focus mark follows the face: a circle on Start's grey ring, a rounded frame on the others.
        QPainterPath outline;
        const QRectF face = QRectF(button->rect()).adjusted(5.5, 5.5, -5.5, -6.5);
        if (pictures.id == 1099) {
            outline.addEllipse(QRectF(button->rect()).center() - QPointF(0, 0.5),
                               layout::kStartInnerRadius + 4.0, layout::kStartInnerRadius + 4.0);
        } else {
            const qreal radius = pictures.id == 1076 || pictures.id == 1286 ? face.height() / 2 : 6;
            outline.addRoundedRect(face, radius, radius);
        }
        button->SetFocusOutline(outline);
    }
    for (const auto& [id, box] : captionBoxes) {
        auto* button = FindControl<CControlButton>(this, id);
        button->SetCaptionBox(box);
        button->setFont(ButtonCaptionFont(id == 1099                 ? layout::kStartCaptionPixels
                                          : id == 1076 || id == 1286 ? layout::kPillCaptionPixels
                                                                     : layout::kIconCaptionPixels));
    }
    FindControl(this, 1099)->setEnabled(true);

    // The two folder buttons overlap by two dialog units in the template; keep them side by side.
    QWidget* browse = FindControl(this, 1076);
    QWidget* openFolder = FindControl(this, 1286);
    if (openFolder->x() <= browse->geometry().right()) {
        openFolder->move(browse->geometry().right() + 3, openFolder->y());
    }
    // Pushed right, the pair can run under Start's ring (with fonts whose dialog units are narrow, as
    // Japanese ones are): then the output field gives up the width and both buttons move left.
    const QWidget* start = FindControl(this, 1099);
    const bool sameRow =
        openFolder->geometry().bottom() >= start->y() && openFolder->y() <= start->geometry().bottom();
    if (const int overlap = openFolder->geometry().right() + 3 - start->x(); sameRow && overlap > 0) {
        QWidget* outputField = FindControl(this, 1077);
        outputField->resize(outputField->width() - overlap, outputField->height());
        browse->move(browse->x() - overlap, browse->y());
        openFolder->move(openFolder->x() - overlap, openFolder->y());
    }
    // And the window holds every visible control whole: that is its smallest size.
    QRect used(QPoint(0, 0), size());
    for (QWidget* child : findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
        if (!child->isHidden()) {
            used |= child->geometry().adjusted(0, 0, 4, 4);
        }
    }
    m_templateSize = used.size();
    setMinimumSize(m_templateSize);
    setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    resize(m_templateSize);
}

void CTessalyDlg::RecordLayout() {
    m_templateGeometry.clear();
    for (QWidget* child : findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
        if (!child->isHidden()) {
            m_templateGeometry.emplace_back(child, child->geometry());
        }
    }
}

void CTessalyDlg::LayOutControls() {
    // The list takes the extra room; what lies right of it keeps its distance to the right edge, what lies
    // below it its distance to the bottom edge; the output folder box grows with the width, and the two
    // buttons after it move with it.
    if (!m_templateSize.isValid() || m_templateGeometry.empty()) {
        return;
    }
    const int dx = std::max(width() - m_templateSize.width(), 0);
    const int dy = std::max(height() - m_templateSize.height(), 0);
    QRect list;
    for (const auto& [widget, place] : m_templateGeometry) {
        if (widget == m_fileList) {
            list = place;
        }
    }
    for (const auto& [widget, place] : m_templateGeometry) {
        if (widget == m_fileList) {
            widget->setGeometry(place.adjusted(0, 0, dx, dy));
            continue;
        }
        const bool right = place.left() > list.right() || widget == FindControl(this, 1076) ||
                           widget == FindControl(this, 1286);
        const bool below = place.top() > list.bottom();
        const QPoint moved = place.topLeft() + QPoint(right ? dx : 0, below ? dy : 0);
        if (widget == m_outputFolderBox) {
            widget->setGeometry(QRect(moved, place.size() + QSize(dx, 0)));
        } else {
            widget->move(moved);
        }
    }
    m_fileList->setColumnWidth(0, m_pathColumnWidth + dx);
}

void CTessalyDlg::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    LayOutControls();
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

void CTessalyDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!m_placedOnScreen) {
        m_placedOnScreen = true;
        // Once the window manager has framed the window, so that the frame's size is known.
        QTimer::singleShot(0, this, &CTessalyDlg::KeepOnScreen);
    }
}

void CTessalyDlg::KeepOnScreen() {
    const QScreen* shownOn = screen();
    if (shownOn == nullptr) {
        return;
    }
    const QRect available = shownOn->availableGeometry();
    const QRect frame = frameGeometry();
    // Centred when it fits; otherwise its top-left corner (the title bar and the list) at the free area's.
    QPoint topLeft = available.center() - QPoint(frame.width() / 2, frame.height() / 2);
    topLeft.setX(std::max(topLeft.x(), available.left()));
    topLeft.setY(std::max(topLeft.y(), available.top()));
    if (frame.top() >= available.top() && frame.left() >= available.left() && available.contains(frame)) {
        return;
    }
    move(topLeft + (pos() - frame.topLeft()));
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
    WriteWindowSize(size());
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

// Input that a modal progress window would hold back from the main window.
static bool IsUserInput(QEvent::Type type) {
    switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::Wheel:
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
    case QEvent::Shortcut:
    case QEvent::ShortcutOverride:
    case QEvent::ContextMenu:
        return true;
    default:
        return false;
    }
}

bool CTessalyDlg::eventFilter(QObject* watched, QEvent* event) {
    // While the progress window shows, the main window takes no input but its close box (RunProgressWindow).
    if (m_progress && m_progress->isVisible() && IsUserInput(event->type())) {
        auto* widget = qobject_cast<QWidget*>(watched);
        if (widget != nullptr && widget->window() == this) {
            return true;
        }
    }
    // The Delete key removes a row whichever control of this window has the focus, the folder box included.
    if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Delete) {
        auto* widget = qobject_cast<QWidget*>(watched);
        if (widget != nullptr && widget->window() == this && isEnabled()) {
            RemoveSelectedFile();
            return true;
        }
    }
    // The row-turn keys act on the list's selection while the list (or its viewport) has the focus.
    if (event->type() == QEvent::KeyPress && (watched == m_fileList || watched == m_fileList->viewport()) &&
        RowTurnKey(*static_cast<QKeyEvent*>(event))) {
        return true;
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
