#include "EngineFixtures.h"
#include "WindowTestSupport.h"
#include "controls/CheckListCtrl.h"
#include "engine/batch/FailureReason.h"
#include "settings/LanguageTexts.h"
#include "ui/main/ControlTexts.h"
#include "ui/main/TessalyDlg.h"
#include "ui/templates/DialogBuilder.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QDir>
#include <QDropEvent>
#include <QHeaderView>
#include <QLineEdit>
#include <QMimeData>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <set>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

extern "C" {
#include <libavutil/error.h>
}

namespace quarnix::test {
namespace {

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

QStringList RowTexts(const CTessalyDlg& window, int row) {
    QStringList texts;
    const QTreeWidgetItem* item = window.FileList()->topLevelItem(row);
    for (int column = 0; column < 8; ++column) {
        texts << item->text(column);
    }
    return texts;
}

int RowCount(const CTessalyDlg& window) {
    return window.FileList()->topLevelItemCount();
}

// Probing runs off the UI thread: waits (with a deadline) until the window has listed what was added.
void FinishAdding(CTessalyDlg& window) {
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window.Adding(); }, 30000));
}

// Ten distinct paths of which the fourth is no video and the seventh has no extension.
QStringList TenWithTwoRefused(const ScopedTempDir& dir, const std::string& prefix) {
    QStringList paths;
    for (int i = 0; i < 10; ++i) {
        const std::string name = prefix + std::to_string(i) + (i == 6 ? "" : ".mp4");
        if (i == 3) {
            std::ofstream(dir.file(name)) << "not a video";
        } else {
            std::filesystem::copy_file(MarkerClip("mp4"), dir.file(name));
        }
        paths << Q(dir.file(name));
    }
    return paths;
}

void Drop(CTessalyDlg& window, const QStringList& paths) {
    QMimeData mime;
    QList<QUrl> urls;
    for (const QString& path : paths) {
        urls << QUrl::fromLocalFile(path);
    }
    mime.setUrls(urls);
    // Delivered straight to the window: outside a real drag the application routes drops nowhere.
    QDragEnterEvent enter(QPoint(50, 50), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    static_cast<QObject&>(window).event(&enter);
    ASSERT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(50, 50), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    static_cast<QObject&>(window).event(&drop);
    FinishAdding(window);
}

TEST(MainWindow, OpensWithTheShippedTextsAndNinetyDegreesTicked) {
    WindowTestEnvironment environment;
    std::ofstream(environment.SettingsFile().toStdString(), std::ios::app) << "[PATH]\nname=/videos/out\n";
    CTessalyDlg window;
    EXPECT_EQ(window.windowTitle(), "Quarnix 0.1.0");
    const QTreeWidgetItem* header = window.FileList()->headerItem();
    const QStringList expected = {"Source File", "Format", "Duration", "Resolution", "Video Quality"};
    for (int column = 0; column < expected.size(); ++column) {
        EXPECT_EQ(header->text(column), expected[column]);
    }
    EXPECT_TRUE(window.FileList()->isColumnHidden(7));
    EXPECT_TRUE(FindControl<QRadioButton>(&window, 1256)->isChecked());
    EXPECT_EQ(FindControl<QComboBox>(&window, 1077)->currentText(), "/videos/out");
    EXPECT_EQ(FindControl(&window, 1255)->accessibleName(), "Add");
    EXPECT_EQ(FindControl(&window, 1255)->accessibleDescription(), "Add video files");
    EXPECT_EQ(FindControl(&window, 1114)->toolTip(), "Drag and Drop Files Here");
    // The Help link shows where it leads, and that it chooses the language.
    const QString help = FindControl(&window, 1180)->toolTip();
    EXPECT_TRUE(
        help.startsWith(QUrl::fromLocalFile(environment.ProgramFolder() + "/help/index.html").toString()))
        << help.toStdString();
    EXPECT_TRUE(help.endsWith("\nRight-click to choose the language")) << help.toStdString();
}

// The window's controls take their tool tips from the pack keys the window maps their ids to; other
// controls have none from the pack.
TEST(MainWindow, ToolTipsComeFromThePackKeyOfEachControl) {
    WindowTestEnvironment environment;
    CTessalyDlg window; // loads the shipped English pack
    const std::pair<int, const char16_t*> cases[] = {
        {1254, u"sc"},      {1255, u"tjspwj"},  {1000, u"tjspwj"},    {1183, u"tjspwj"}, {1099, u"hbcygwj"},
        {1004, u"ksjq"},    {1023, u"zjsrsjd"}, {1024, u"zjsrsjd"},   {1140, u"djsbzj"}, {1149, u"szjsjqd"},
        {1154, u"szksjqd"}, {1188, u"bf"},      {1282, u"removeall"}, {1114, u"drop"},   {1139, u"drop"}};
    std::set<QString> distinct;
    for (const auto& [control, key] : cases) {
        const QString expected = Text(u"HINT", QStringView(key));
        EXPECT_FALSE(expected.isEmpty()) << control;
        ASSERT_TRUE(ToolTipText(control).has_value()) << control;
        EXPECT_EQ(*ToolTipText(control), expected) << control;
        if (QWidget* widget = FindControl(&window, control); widget != nullptr) {
            EXPECT_EQ(widget->toolTip(), expected) << control;
        }
        distinct.insert(expected);
    }
    EXPECT_EQ(distinct.size(), 11U); // eleven keys, each its own words: a wrong key would show
    EXPECT_FALSE(ToolTipText(1077).has_value());
    EXPECT_FALSE(ToolTipText(1256).has_value());
}

// Without a pack the pack's own texts are empty; the captions that never came from a pack stay English.
TEST(MainWindow, WithoutSettingsOrPacksOnlyTheEnglishFallbacksShow) {
    WindowTestEnvironment environment(false);
    CTessalyDlg window;
    EXPECT_EQ(window.windowTitle(), " ");
    for (int column = 0; column < 7; ++column) {
        EXPECT_EQ(window.FileList()->headerItem()->text(column), column == 4 ? "Video Quality" : "")
            << column;
    }
    EXPECT_EQ(FindControl<QRadioButton>(&window, 1007)->text(), "Rotate 180 degrees clockwise");
    EXPECT_EQ(FindControl<QAbstractButton>(&window, 1286)->text(), "Find Target");
    EXPECT_TRUE(FindControl<QRadioButton>(&window, 1256)->isChecked());
    EXPECT_EQ(FindControl<QComboBox>(&window, 1077)->currentText(), "");
}

// Every acceptable file is added in order; the refused ones are named together in one message.
TEST(MainWindow, AddingKeepsEveryGoodFileAndNamesTheRefusedOnes) {
    WindowTestEnvironment environment;
    ScopedTempDir dir;
    CTessalyDlg window;
    const QStringList chosen = TenWithTwoRefused(dir, "a");
    environment.filesToOpen = chosen;
    window.AddFilesFromDialog();
    FinishAdding(window);
    ASSERT_EQ(RowCount(window), 8);
    QStringList listed;
    for (int row = 0; row < RowCount(window); ++row) {
        listed << RowTexts(window, row)[0];
    }
    QStringList expected = chosen;
    expected.removeAt(6);
    expected.removeAt(3);
    EXPECT_EQ(listed, expected);
    ASSERT_EQ(environment.Messages().size(), 1);
    EXPECT_EQ(environment.Messages()[0], "The file a3.mp4 cannot be read as a video.\n"
                                         "The file a6 cannot be read as a video.");
    EXPECT_TRUE(environment.lastFilter.startsWith("Video Files (*.mp4 *.m4v *.mov"))
        << environment.lastFilter.toStdString();
    EXPECT_TRUE(environment.lastFilter.endsWith(";;All Files (*)"));
    EXPECT_EQ(environment.lastOpenFolder, QDir::homePath()); // nothing added yet

    Drop(window, TenWithTwoRefused(dir, "b"));
    EXPECT_EQ(RowCount(window), 16);
    EXPECT_EQ(environment.Messages().size(), 2);

    environment.filesToOpen.reset(); // cancelled dialog: nothing happens
    window.AddFilesFromDialog();
    EXPECT_EQ(RowCount(window), 16);
    EXPECT_EQ(environment.Messages().size(), 2);
    // The dialog opens where the last files were added, also after a restart.
    EXPECT_EQ(environment.lastOpenFolder, Q(dir.path().string()));
    CTessalyDlg restarted;
    restarted.AddFilesFromDialog();
    EXPECT_EQ(environment.lastOpenFolder, Q(dir.path().string()));
}

// A dropped folder adds the videos inside it and its subfolders in name order (numbers by value); other
// files are skipped silently, a broken video is named, and a link back up the tree is not followed.
TEST(MainWindow, AFolderAddsTheVideosInsideItInNameOrder) {
    WindowTestEnvironment environment;
    ScopedTempDir dir;
    const std::filesystem::path top = dir.path() / "phone";
    std::filesystem::create_directories(top / "sub");
    std::filesystem::copy_file(MarkerClip("mp4"), top / "a10.mp4");
    std::filesystem::copy_file(MarkerClip("mov"), top / "a2.MOV");
    std::ofstream(top / "notes.txt") << "not a video";
    std::ofstream(top / "sub" / "broken.mp4") << "not a video either";
    std::filesystem::copy_file(MarkerClip("mkv"), top / "sub" / "x.mkv");
    std::filesystem::create_directory_symlink("..", top / "sub" / "loop");
    CTessalyDlg window;
    Drop(window, {Q(top.string())});
    QStringList listed;
    for (int row = 0; row < RowCount(window); ++row) {
        listed << RowTexts(window, row)[0];
    }
    EXPECT_EQ(listed, (QStringList{Q((top / "a2.MOV").string()), Q((top / "a10.mp4").string()),
                                   Q((top / "sub" / "x.mkv").string())}));
    EXPECT_EQ(environment.Messages(), QStringList{"The file broken.mp4 cannot be read as a video."});
}

// Which quarter of a picture holds the marker's white box: "top-left", "top-right", "bottom-left" or
// "bottom-right"; empty when no quarter is clearly the brightest.
std::string MarkerQuarter(const QImage& picture) {
    const int w = picture.width();
    const int h = picture.height();
    const std::pair<const char*, QRect> quarters[] = {
        {"top-left", QRect(0, 0, w / 2, h / 2)},
        {"top-right", QRect(w / 2, 0, w - w / 2, h / 2)},
        {"bottom-left", QRect(0, h / 2, w / 2, h - h / 2)},
        {"bottom-right", QRect(w / 2, h / 2, w - w / 2, h - h / 2)}};
    std::string brightest;
    int best = 0;
    for (const auto& [name, area] : quarters) {
        int sum = 0;
        for (int y = area.top(); y <= area.bottom(); ++y) {
            for (int x = area.left(); x <= area.right(); ++x) {
                sum += qGray(picture.pixel(x, y));
            }
        }
        const int mean = sum / std::max(1, area.width() * area.height());
        if (mean > best + 20) {
            best = mean;
            brightest = name;
        } else if (mean > best - 20) {
            brightest.clear();
            best = std::max(best, mean);
        }
    }
    return brightest;
}

// A row's pictures show the video as players show it now (a clip marked 90 has its marker top right) and
// after the row's turn; a file without a picture gets none.
TEST(MainWindow, RowPicturesShowTheVideoAsPlayersShowItNowAndAfterItsTurn) {
    WindowTestEnvironment environment;
    ScopedTempDir dir;
    const std::string marked = dir.file("marked.mp4");
    ASSERT_TRUE(MarkFileInPlace(InPlaceFamily::kQuickTime, MarkerClip("mp4"), marked, 90).outcome ==
                MarkInPlaceOutcome::Marked);
    CTessalyDlg window;
    Drop(window, {Q(marked), Q(MarkerClip("mkv"))});
    ASSERT_EQ(RowCount(window), 2);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window.MakingPictures(); }, 30000));
    const QImage now = window.RowPictureShown(Q(marked), std::nullopt);
    ASSERT_FALSE(now.isNull());
    EXPECT_LT(now.width(), now.height()); // 160x120 stored, shown upright-portrait
    EXPECT_EQ(MarkerQuarter(now), "top-right");
    EXPECT_EQ(MarkerQuarter(window.RowPictureShown(Q(marked), Turn::Clockwise(90))), "bottom-right");
    EXPECT_EQ(MarkerQuarter(window.RowPictureShown(Q(marked), Turn::Absolute(0))), "top-left");
    EXPECT_EQ(MarkerQuarter(window.RowPictureShown(Q(MarkerClip("mkv")), std::nullopt)), "top-left");
    EXPECT_EQ(MarkerQuarter(window.RowPictureShown(Q(MarkerClip("mkv")), Turn::Clockwise(270))),
              "bottom-left");
    EXPECT_FALSE(window.FileList()->topLevelItem(0)->icon(0).isNull());
}

// A pipe that nobody writes, a link to /dev/zero and many files dropped together: the two that are not
// files are refused at once without being opened (reading them would wait or never end), the window's
// event loop keeps turning while the rest are probed, and every file after them is listed in order.
TEST(MainWindow, InputsThatAreNotFilesNeverHoldUpTheWindow) {
    WindowTestEnvironment environment;
    ScopedTempDir dir;
    CTessalyDlg window;
    const std::string pipe = dir.file("live.ts");
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    const std::string zero = dir.file("zero.mp4");
    std::filesystem::create_symlink("/dev/zero", zero);
    QStringList paths{Q(pipe), Q(zero)};
    for (int i = 0; i < 300; ++i) {
        const std::string link = dir.file("clip" + std::to_string(i) + ".mp4");
        std::filesystem::create_symlink(MarkerClip("mp4"), link);
        paths << Q(link);
    }
    window.AddDroppedFiles(paths);
    int turnsWhileAdding = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] { turnsWhileAdding += window.Adding() ? 1 : 0; });
    ticker.start(1);
    FinishAdding(window);
    EXPECT_GT(turnsWhileAdding, 0);
    ASSERT_EQ(RowCount(window), 300);
    EXPECT_EQ(RowTexts(window, 0)[0], Q(dir.file("clip0.mp4")));
    EXPECT_EQ(RowTexts(window, 299)[0], Q(dir.file("clip299.mp4")));
    ASSERT_EQ(environment.Messages().size(), 1);
    EXPECT_NE(environment.Messages()[0].indexOf(u"live.ts"), -1);
    EXPECT_NE(environment.Messages()[0].indexOf(u"zero.mp4"), -1);
}

// Every reason the engine gives for a failed file has words in the language packs.
TEST(MainWindow, EveryFailureReasonIsInThePacks) {
    QStringList known;
    for (const FallbackText& text : FallbackTexts()) {
        if (text.section == "REASON") {
            known << text.english;
        }
    }
    const int errors[] = {AVERROR(ENOENT), AVERROR(EACCES), AVERROR(EISDIR),       AVERROR(ENOSPC),
                          AVERROR(EDQUOT), AVERROR(EFBIG),  AVERROR(ENAMETOOLONG), AVERROR(EIO),
                          AVERROR(ENOMEM), AVERROR(EROFS),  AVERROR_INVALIDDATA,   AVERROR(EINVAL)};
    for (int step = static_cast<int>(FailedStep::kOpenInput);
         step <= static_cast<int>(FailedStep::kFolderMoved); ++step) {
        for (int error : errors) {
            const QString reason =
                QString::fromStdString(PlainFailureReason(static_cast<FailedStep>(step), error));
            EXPECT_TRUE(known.contains(reason)) << reason.toStdString();
        }
    }
}

TEST(MainWindow, RowsShowWhatTheProbeFound) {
    WindowTestEnvironment environment;
    const std::string eight =
        MediaFixture("eight.mp4", "-f lavfi -i testsrc2=s=160x120:r=8:d=1 -c:v libx264");
    const std::string ntsc = MediaFixture(
        "ntsc.mkv", "-f lavfi -i testsrc2=s=160x120:r=30000/1001:d=1 -c:v libx264 -profile:v main");
    CTessalyDlg window;
    Drop(window, {Q(eight), Q(ntsc), Q(ntsc)});
    const QStringList first = RowTexts(window, 0);
    EXPECT_EQ(first[0], Q(eight));
    EXPECT_EQ(first[1], "mp4");
    EXPECT_EQ(first[2], "00:00:01.000");
    EXPECT_EQ(first[3], "160*120");
    EXPECT_TRUE(first[4].endsWith("kbps"));
    EXPECT_EQ(first[5], " 8.00fps");
    EXPECT_EQ(first[6], "Ready");
    EXPECT_EQ(first[7], "100");
    EXPECT_EQ(RowTexts(window, 1)[5], "29.97fps");
    EXPECT_EQ(RowTexts(window, 1)[7], "77");
    // The same file twice is listed once; adding it again selects its row.
    ASSERT_EQ(RowCount(window), 2);
    Drop(window, {Q(ntsc)});
    EXPECT_EQ(RowCount(window), 2);
    EXPECT_TRUE(window.FileList()->topLevelItem(1)->isSelected());
    EXPECT_FALSE(window.FileList()->topLevelItem(0)->isSelected());
    for (int row = 0; row < 2; ++row) {
        EXPECT_EQ(window.FileList()->topLevelItem(row)->checkState(0), Qt::Checked);
    }
    EXPECT_EQ(window.FileList()->HeaderCheckImage(), CCheckHeadCtrl::kTickedBoxImage);
}

TEST(MainWindow, RemoveTakesEverySelectedRowAndSelectsTheNextOne) {
    WindowTestEnvironment environment;
    CTessalyDlg window;
    QStringList paths;
    ScopedTempDir dir;
    for (int i = 0; i < 9; ++i) {
        const std::string copy = dir.file("clip" + std::to_string(i) + ".mp4");
        std::filesystem::copy_file(MarkerClip("mp4"), copy);
        paths << Q(copy);
    }
    Drop(window, paths);
    CCheckListCtrl* list = window.FileList();
    for (int row : {2, 5, 7}) {
        list->topLevelItem(row)->setSelected(true);
    }
    window.RemoveSelectedFile();
    ASSERT_EQ(RowCount(window), 6);
    QStringList left;
    for (int row = 0; row < RowCount(window); ++row) {
        left << list->topLevelItem(row)->text(0);
    }
    EXPECT_EQ(left, (QStringList{paths[0], paths[1], paths[3], paths[4], paths[6], paths[8]}));
    // The row that took the first removed row's place is selected.
    EXPECT_EQ(list->selectedItems(), QList<QTreeWidgetItem*>{list->topLevelItem(2)});
    EXPECT_EQ(list->currentItem(), list->topLevelItem(2));

    // The last row removed: the new last row is selected.
    list->clearSelection();
    list->topLevelItem(5)->setSelected(true);
    window.RemoveSelectedFile();
    EXPECT_EQ(RowCount(window), 5);
    EXPECT_TRUE(list->topLevelItem(4)->isSelected());

    // The Delete key works while the folder box has the focus.
    window.show();
    QComboBox* folderBox = FindControl<QComboBox>(&window, 1077);
    folderBox->setFocus();
    QTest::keyClick(folderBox->lineEdit(), Qt::Key_Delete);
    EXPECT_EQ(RowCount(window), 4);

    // Space ticks the selected rows, or unticks them when all are ticked; Ctrl+A selects every row.
    list->setFocus();
    list->clearSelection();
    list->topLevelItem(0)->setCheckState(0, Qt::Unchecked);
    list->topLevelItem(0)->setSelected(true);
    list->topLevelItem(1)->setSelected(true);
    QTest::keyClick(list, Qt::Key_Space);
    EXPECT_EQ(list->topLevelItem(0)->checkState(0), Qt::Checked);
    EXPECT_EQ(list->topLevelItem(1)->checkState(0), Qt::Checked);
    QTest::keyClick(list, Qt::Key_Space);
    EXPECT_EQ(list->topLevelItem(0)->checkState(0), Qt::Unchecked);
    EXPECT_EQ(list->topLevelItem(1)->checkState(0), Qt::Unchecked);
    EXPECT_EQ(list->topLevelItem(2)->checkState(0), Qt::Checked);
    QTest::keyClick(list, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(list->selectedItems().size(), RowCount(window));

    window.RemoveAllFiles();
    EXPECT_EQ(RowCount(window), 0);
    window.RemoveSelectedFile(); // nothing selected, nothing happens
    EXPECT_EQ(RowCount(window), 0);
}

TEST(MainWindow, BrowseChecksTheFolderAndRemembersIt) {
    WindowTestEnvironment environment;
    ScopedTempDir out;
    CTessalyDlg window;
    QComboBox* folderBox = FindControl<QComboBox>(&window, 1077);

    environment.folderToChoose = Q(out.path().string());
    window.BrowseOutputFolder();
    window.BrowseOutputFolder();
    EXPECT_EQ(folderBox->count(), 2); // the same folder twice is listed twice
    EXPECT_EQ(folderBox->currentText(), Q(out.path().string()));
    EXPECT_EQ(window.RememberedFolder(), Q(out.path().string()));
    EXPECT_EQ(IniValue(environment.SettingsFile(), "PATH", "name"), Q(out.path().string()));
    EXPECT_TRUE(std::filesystem::is_empty(out.path()));
    EXPECT_TRUE(environment.Messages().isEmpty());

    environment.folderToChoose = Q(out.file("missing"));
    window.BrowseOutputFolder();
    environment.folderToChoose = "/proc";
    window.BrowseOutputFolder();
    EXPECT_EQ(environment.Messages(),
              (QStringList{"The output folder name is invalid! please save to other directory!",
                           "No write right\uFF0Cplease save to other directory!",
                           "No write right\uFF0Cplease save to other directory!"}));
    EXPECT_EQ(window.RememberedFolder(), Q(out.path().string()));

    environment.folderToChoose.reset();
    window.BrowseOutputFolder();
    EXPECT_EQ(folderBox->count(), 2);

    folderBox->setEditText("/typed/folder");
    window.OpenOutputFolder();
    EXPECT_EQ(environment.ShellOpened(), QStringList{"/typed/folder"});
}

TEST(MainWindow, EnterAndEscapeKeepItOpenAndClosingSavesThePresets) {
    WindowTestEnvironment environment;
    CTessalyDlg window;
    window.show();
    QTest::keyClick(&window, Qt::Key_Escape);
    QTest::keyClick(FindControl<QComboBox>(&window, 1077)->lineEdit(), Qt::Key_Return);
    EXPECT_TRUE(window.isVisible());
    window.close();
    EXPECT_FALSE(window.isVisible());
    for (const char* key : {"quality", "size", "framerate", "audioquality", "samplerate"}) {
        EXPECT_FALSE(IniValue(environment.SettingsFile(), "JOIN", key).isEmpty()) << key;
    }
    EXPECT_TRUE(IniValue(environment.SettingsFile(), "JOIN", "format").isEmpty());
}

} // namespace
} // namespace quarnix::test
