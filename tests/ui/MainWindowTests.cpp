#include "CheckListCtrl.h"
#include "DialogBuilder.h"
#include "EngineFixtures.h"
#include "TessalyDlg.h"
#include "WindowTestSupport.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QDropEvent>
#include <QHeaderView>
#include <QLineEdit>
#include <QMimeData>
#include <QRadioButton>
#include <QTest>
#include <filesystem>
#include <fstream>

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

// Ten paths of which the fourth is no video.
QStringList TenWithBrokenFourth(const ScopedTempDir& dir) {
    std::ofstream(dir.file("broken.mp4")) << "not a video";
    QStringList paths;
    for (int i = 0; i < 10; ++i) {
        paths << (i == 3 ? Q(dir.file("broken.mp4")) : Q(MarkerClip("mp4")));
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
    EXPECT_EQ(FindControl(&window, 1255)->accessibleName(), "Add video files");
    EXPECT_EQ(FindControl(&window, 1114)->toolTip(), "Drag and Drop Files Here");
}

TEST(MainWindow, WithoutSettingsOrPacksTheTextsAreEmptyButTheFixedOnes) {
    WindowTestEnvironment environment(false);
    CTessalyDlg window;
    EXPECT_EQ(window.windowTitle(), " ");
    for (int column = 0; column < 7; ++column) {
        EXPECT_EQ(window.FileList()->headerItem()->text(column), column == 4 ? "Video Quality" : "")
            << column;
    }
    EXPECT_TRUE(FindControl<QRadioButton>(&window, 1256)->isChecked());
    EXPECT_EQ(FindControl<QComboBox>(&window, 1077)->currentText(), "");
}

TEST(MainWindow, VideoQualityHeaderIsTheSameInEveryLanguage) {
    for (const char* pack : {"german.ini", "japanese.ini"}) {
        WindowTestEnvironment environment;
        std::ofstream(environment.SettingsFile().toStdString()) << "[LANGUAGE]\nfile=" << pack << "\n";
        CTessalyDlg window;
        EXPECT_EQ(window.FileList()->headerItem()->text(4), "Video Quality") << pack;
        EXPECT_FALSE(window.FileList()->headerItem()->text(0).isEmpty()) << pack;
    }
}

TEST(MainWindow, AddingStopsAtTheFirstRefusedFileAndNamesIt) {
    WindowTestEnvironment environment;
    ScopedTempDir dir;
    CTessalyDlg window;
    environment.filesToOpen = TenWithBrokenFourth(dir);
    window.AddFilesFromDialog();
    EXPECT_EQ(RowCount(window), 3);
    ASSERT_EQ(environment.Messages().size(), 1);
    EXPECT_EQ(environment.Messages()[0], "The file broken.mp4 cannot be read as a video.");
    EXPECT_TRUE(environment.lastFilter.startsWith("Video Files (*.mp4 *.m4v *.mov"))
        << environment.lastFilter.toStdString();
    EXPECT_TRUE(environment.lastFilter.endsWith(";;All Files (*)"));

    Drop(window, TenWithBrokenFourth(dir));
    EXPECT_EQ(RowCount(window), 6);
    EXPECT_EQ(environment.Messages().size(), 2);

    environment.filesToOpen.reset(); // cancelled dialog: nothing happens
    window.AddFilesFromDialog();
    EXPECT_EQ(RowCount(window), 6);
    EXPECT_EQ(environment.Messages().size(), 2);
}

TEST(MainWindow, RowsShowWhatTheProbeFound) {
    WindowTestEnvironment environment;
    const std::string eight =
        MediaFixture("eight.mp4", "-f lavfi -i testsrc2=s=160x120:r=8:d=1 -c:v libx264");
    const std::string ntsc = MediaFixture(
        "ntsc.mkv", "-f lavfi -i testsrc2=s=160x120:r=30000/1001:d=1 -c:v libx264 -profile:v main");
    CTessalyDlg window;
    Drop(window, {Q(eight), Q(ntsc), Q(ntsc)});
    ASSERT_EQ(RowCount(window), 3);
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
    // The same file twice gives two identical ticked rows.
    EXPECT_EQ(RowTexts(window, 1), RowTexts(window, 2));
    for (int row = 0; row < 3; ++row) {
        EXPECT_EQ(window.FileList()->topLevelItem(row)->checkState(0), Qt::Checked);
    }
    EXPECT_EQ(window.FileList()->HeaderCheckImage(), CCheckHeadCtrl::kTickedBoxImage);
}

TEST(MainWindow, RemoveTakesTheFirstSelectedRowAndSelectsItsSuccessor) {
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
    ASSERT_EQ(RowCount(window), 8);
    EXPECT_EQ(list->topLevelItem(2)->text(0), paths[3]);
    EXPECT_TRUE(list->topLevelItem(2)->isSelected());
    EXPECT_EQ(list->currentItem(), list->topLevelItem(2));

    // The last row removed: the new last row is selected.
    list->clearSelection();
    list->topLevelItem(7)->setSelected(true);
    window.RemoveSelectedFile();
    EXPECT_EQ(RowCount(window), 7);
    EXPECT_TRUE(list->topLevelItem(6)->isSelected());

    // The Delete key works while the folder box has the focus.
    window.show();
    QComboBox* folderBox = FindControl<QComboBox>(&window, 1077);
    folderBox->setFocus();
    QTest::keyClick(folderBox->lineEdit(), Qt::Key_Delete);
    EXPECT_EQ(RowCount(window), 6);

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
