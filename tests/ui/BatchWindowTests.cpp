#include "EngineFixtures.h"
#include "MediaFacts.h"
#include "StalledPipe.h"
#include "WindowTestSupport.h"
#include "controls/CheckListCtrl.h"
#include "controls/Label.h"
#include "ui/main/TessalyDlg.h"
#include "ui/progress/AVConvertDlg.h"
#include "ui/templates/DialogBuilder.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace quarnix::test {
namespace {

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

std::string Copy(const ScopedTempDir& dir, const std::string& source, const std::string& name) {
    std::filesystem::copy_file(source, dir.file(name));
    return dir.file(name);
}

// A window with the files listed and the output folder typed in, its batch timer ticking every 20 ms.
struct BatchWindow {
    WindowTestEnvironment environment;
    ScopedTempDir inputs;
    ScopedTempDir outputs;
    CTessalyDlg window;

    BatchWindow() { window.SetBatchTimerInterval(20); }

    void Add(const QStringList& paths) {
        environment.filesToOpen = paths;
        window.AddFilesFromDialog();
        EXPECT_TRUE(QTest::qWaitFor([&] { return !window.Adding(); }, 30000));
    }
    void SetFolder(const QString& folder) { FindControl<QComboBox>(&window, 1077)->setEditText(folder); }
    QString Out() const { return Q(outputs.path().string()); }

    // Runs Start; a watchdog closes the progress window should the batch never end.
    void Start() {
        QTimer watchdog;
        watchdog.setSingleShot(true);
        QObject::connect(&watchdog, &QTimer::timeout, [this] {
            ADD_FAILURE() << "the batch did not end";
            window.ProgressWindow()->CloseRoutine();
        });
        watchdog.start(60000);
        window.StartRotation();
    }
    QString Status(int row) const { return window.FileList()->topLevelItem(row)->text(6); }
    QString Reason(int row) const { return window.FileList()->topLevelItem(row)->toolTip(6); }
    // Every name in the output folder, hidden ones included.
    std::vector<std::string> OutputNames() const {
        std::vector<std::string> names;
        for (const auto& item : std::filesystem::directory_iterator(outputs.path())) {
            names.push_back(item.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }
    bool Ticked(int row) const { return window.FileList()->topLevelItem(row)->checkState(0) == Qt::Checked; }
};

std::string ExifRotation(const std::string& path) {
    std::string out;
    RunCommand("exiftool -s3 -Rotation " + ShellQuote(path), &out);
    return out.substr(0, out.find('\n'));
}

TEST(BatchWindow, RotatesTheTickedFilesEndToEnd) {
    BatchWindow batch;
    batch.Add({Q(Copy(batch.inputs, MarkerClip("mp4"), "a.mp4")),
               Q(Copy(batch.inputs, MarkerClip("mov"), "b.mov")),
               Q(Copy(batch.inputs, MarkerClip("mkv"), "c.mkv"))});
    ASSERT_EQ(batch.window.FileList()->topLevelItemCount(), 3);
    batch.SetFolder(batch.Out());
    FindControl<QRadioButton>(&batch.window, 1008)->setChecked(true);
    batch.Start();

    EXPECT_EQ(ExifRotation(batch.outputs.file("a.mp4")), "270");
    EXPECT_EQ(ExifRotation(batch.outputs.file("b.mov")), "270");
    EXPECT_EQ(ReadMediaFacts(batch.outputs.file("c.mkv")).OfKind("video")[0].rotateTag, "270");
    for (int row = 0; row < 3; ++row) {
        EXPECT_EQ(batch.Status(row), "Done") << row;
        EXPECT_FALSE(batch.Ticked(row)) << row;
    }
    EXPECT_EQ(batch.environment.ShellOpened(), QStringList{batch.Out()});
    EXPECT_FALSE(batch.window.ProgressWindow()->isVisible());
    EXPECT_FALSE(batch.window.BatchTimerActive());
    EXPECT_TRUE(batch.environment.Messages().isEmpty());
    // The folder typed for a batch that started is the next start's folder.
    EXPECT_EQ(IniValue(batch.environment.SettingsFile(), "PATH", "name"), batch.Out());

    // Started again with nothing ticked: the ticks were cleared by the success.
    batch.Start();
    EXPECT_EQ(batch.environment.Messages(), QStringList{"Please select file first!"});
}

TEST(BatchWindow, StartChecksTheListAndTheFolderInOrder) {
    BatchWindow batch;
    batch.Start();
    EXPECT_EQ(batch.environment.Messages().value(0), "Please add video files first.");

    batch.Add({Q(Copy(batch.inputs, MarkerClip("mp4"), "a.mp4"))});
    batch.window.FileList()->topLevelItem(0)->setCheckState(0, Qt::Unchecked);
    batch.Start();
    EXPECT_EQ(batch.environment.Messages().value(1), "Please select file first!");

    batch.window.FileList()->topLevelItem(0)->setCheckState(0, Qt::Checked);
    batch.SetFolder("/");
    batch.Start(); // the root folder text: nothing at all
    EXPECT_EQ(batch.environment.Messages().size(), 2);

    batch.SetFolder(Q(batch.outputs.file("missing")));
    batch.Start();
    EXPECT_EQ(batch.environment.Messages().value(2), "The output folder does not exist.");

    batch.SetFolder("/proc");
    batch.Start();
    EXPECT_EQ(batch.environment.Messages().value(3),
              "Rotate failed\uFF0C please click browse button to save as other directory!");
    EXPECT_TRUE(std::filesystem::is_empty(batch.outputs.path()));
    EXPECT_EQ(batch.Status(0), "Ready");
}

TEST(BatchWindow, MoreThanABatchHoldsIsRefusedByName) {
    BatchWindow batch;
    batch.Add({Q(Copy(batch.inputs, MarkerClip("mp4"), "a.mp4"))});
    QTreeWidgetItem* model = batch.window.FileList()->topLevelItem(0);
    QList<QTreeWidgetItem*> rows;
    for (int i = 0; i < CConvertJob::kMaxEntries; ++i) {
        rows << model->clone();
    }
    batch.window.FileList()->addTopLevelItems(rows);
    batch.SetFolder(batch.Out());
    batch.Start();
    ASSERT_EQ(batch.environment.Messages().size(), 1);
    EXPECT_TRUE(batch.environment.Messages()[0].contains("9999"));
    EXPECT_TRUE(std::filesystem::is_empty(batch.outputs.path()));
}

TEST(BatchWindow, SameNamedInputsGetDistinctOutputs) {
    BatchWindow batch;
    std::filesystem::create_directory(batch.inputs.path() / "x");
    std::filesystem::create_directory(batch.inputs.path() / "y");
    batch.Add({Q(Copy(batch.inputs, MarkerClip("mp4"), "x/clip.mp4")),
               Q(Copy(batch.inputs, MarkerClip("mp4"), "y/clip.mp4"))});
    batch.SetFolder(batch.Out());
    batch.Start();
    EXPECT_TRUE(std::filesystem::exists(batch.outputs.file("clip.mp4")));
    EXPECT_TRUE(std::filesystem::exists(batch.outputs.file("clip(0).mp4")));
    EXPECT_EQ(batch.Status(1), "Done");
}

// A Matroska file with PCM sound under an .mp4 name: it is remuxed by its name, and the MP4 writer refuses
// its sound, so that entry fails.
std::string UnwritableAsMp4(const ScopedTempDir& dir, const std::string& name) {
    return Copy(dir,
                MediaFixture("pcm.mkv", "-f lavfi -i testsrc2=s=160x120:r=25:d=1 -f lavfi -i sine=d=1 "
                                        "-c:v libx264 -c:a pcm_s16le"),
                name);
}

TEST(BatchWindow, ALastFileThatFailsIsReportedAndTheFolderStaysClosed) {
    BatchWindow batch;
    batch.Add({Q(Copy(batch.inputs, MarkerClip("mp4"), "a.mp4")), Q(UnwritableAsMp4(batch.inputs, "b.mp4"))});
    batch.SetFolder(batch.Out());
    batch.Start();
    EXPECT_EQ(batch.environment.Messages(), QStringList{"The last file could not be rotated."});
    EXPECT_TRUE(batch.environment.ShellOpened().isEmpty());
    EXPECT_EQ(batch.Status(1), "Failed");
    EXPECT_EQ(batch.Reason(1), "the output container does not accept these streams");
    EXPECT_TRUE(batch.Ticked(1));
    EXPECT_EQ(batch.OutputNames(), std::vector<std::string>{"a.mp4"});
}

// A file deleted after it was listed fails alone; the batch goes on with the next and ends.
TEST(BatchWindow, ADeletedFileFailsWithItsReasonAndTheBatchGoesOn) {
    BatchWindow batch;
    const std::string second = Copy(batch.inputs, MarkerClip("mp4"), "b.mp4");
    batch.Add({Q(Copy(batch.inputs, MarkerClip("mp4"), "a.mp4")), Q(second),
               Q(Copy(batch.inputs, MarkerClip("mov"), "c.mov"))});
    std::filesystem::remove(second);
    batch.SetFolder(batch.Out());
    batch.Start();
    EXPECT_FALSE(batch.window.ProgressWindow()->isVisible());
    EXPECT_EQ(batch.Status(0), "Done");
    EXPECT_EQ(batch.Status(1), "Failed");
    EXPECT_EQ(batch.Reason(1), "the input no longer exists");
    EXPECT_TRUE(batch.Ticked(1));
    EXPECT_EQ(batch.Status(2), "Done");
    EXPECT_EQ(batch.OutputNames(), (std::vector<std::string>{"a.mp4", "c.mov"}));
    EXPECT_TRUE(batch.environment.Messages().isEmpty());
}

TEST(BatchWindow, AFirstFileThatFailsStaysTickedForTheNextStart) {
    BatchWindow batch;
    batch.Add({Q(UnwritableAsMp4(batch.inputs, "a.mp4")), Q(Copy(batch.inputs, MarkerClip("mp4"), "b.mp4")),
               Q(Copy(batch.inputs, MarkerClip("mov"), "c.mov"))});
    batch.SetFolder(batch.Out());
    batch.Start();
    EXPECT_TRUE(batch.environment.Messages().isEmpty());
    EXPECT_EQ(batch.Status(0), "Failed");
    EXPECT_TRUE(batch.Ticked(0));
    for (int row : {1, 2}) {
        EXPECT_EQ(batch.Status(row), "Done");
        EXPECT_FALSE(batch.Ticked(row));
    }
    EXPECT_EQ(batch.environment.ShellOpened(), QStringList{batch.Out()});
}

// Five short files of which the third is turned into a pipe after it was listed, so the worker is surely
// inside it when Stop is pressed. Stop means stop now: nothing of the third is left, the rest wait.
TEST(BatchWindow, StopAbandonsTheCurrentFileAndTheNextStartDoesExactlyTheRest) {
    BatchWindow batch;
    const std::string source = LongTs();
    // The third file sits in a folder whose long name does not fit the progress window.
    const std::string folder = "holiday videos from the summer in Brittany, phone camera exports, unsorted";
    std::filesystem::create_directory(batch.inputs.path() / folder);
    QStringList paths;
    for (int i = 0; i < 5; ++i) {
        paths << Q(Copy(batch.inputs, i == 2 ? source : MarkerClip("mp4"),
                        i == 2 ? folder + "/f2.ts" : "f" + std::to_string(i) + ".mp4"));
    }
    batch.Add(paths);
    ASSERT_EQ(batch.window.FileList()->topLevelItemCount(), 5);
    const std::string third = paths[2].toStdString();
    batch.SetFolder(batch.Out());
    auto pipe = std::make_unique<StalledPipe>(third, source, 2);
    QString fileLabel, fileTip;
    QTimer pressStop;
    QObject::connect(&pressStop, &QTimer::timeout, [&] {
        const RunningBatch* running = batch.window.Batch();
        if (pipe->Fed() && running != nullptr && running->CurrentEntry() == 2 && running->FilePercent() > 0) {
            pressStop.stop();
            batch.window.BatchTimer();
            fileLabel = batch.window.ProgressWindow()->CurrentFileLabel()->text();
            fileTip = batch.window.ProgressWindow()->CurrentFileLabel()->toolTip();
            QTest::mouseClick(batch.window.ProgressWindow()->StopButton(), Qt::LeftButton);
        }
    });
    pressStop.start(5);
    batch.Start();
    pipe.reset();

    // The name and the percentage show; the middle of the path gives way, and the tooltip holds it whole.
    EXPECT_TRUE(fileLabel.contains(QStringLiteral("f2.ts   "))) << fileLabel.toStdString();
    EXPECT_TRUE(fileLabel.endsWith(QStringLiteral("% done"))) << fileLabel.toStdString();
    EXPECT_TRUE(fileLabel.contains(QChar(0x2026))) << fileLabel.toStdString();
    EXPECT_EQ(fileTip, paths[2]);
    EXPECT_FALSE(batch.window.ProgressWindow()->isVisible());
    EXPECT_EQ(batch.window.Batch(), nullptr);
    for (int row : {0, 1}) {
        EXPECT_EQ(batch.Status(row), "Done") << row;
        EXPECT_FALSE(batch.Ticked(row)) << row;
    }
    for (int row : {2, 3, 4}) {
        EXPECT_EQ(batch.Status(row), "Ready") << row;
        EXPECT_TRUE(batch.Ticked(row)) << row;
    }
    EXPECT_EQ(batch.OutputNames(), (std::vector<std::string>{"f0.mp4", "f1.mp4"}));
    // Stop does not store the folder choice of the progress window and opens no folder.
    EXPECT_TRUE(batch.environment.ShellOpened().isEmpty());

    // The next Start does exactly the rest, under their own names.
    std::filesystem::remove(third);
    std::filesystem::copy_file(source, third);
    batch.Start();
    for (int row = 0; row < 5; ++row) {
        EXPECT_EQ(batch.Status(row), "Done") << row;
    }
    EXPECT_EQ(batch.OutputNames(),
              (std::vector<std::string>{"f0.mp4", "f1.mp4", "f2.mov", "f3.mp4", "f4.mp4"}));
    EXPECT_EQ(IniValue(batch.environment.SettingsFile(), "DIR", "open"), "1");
}

// Closing the main window during a batch stops it and waits for the worker: nothing goes on writing.
TEST(BatchWindow, ClosingTheWindowDuringABatchStopsItAndLeavesNoPartialFile) {
    BatchWindow batch;
    const std::string pipe = batch.inputs.file("live.ts");
    const std::string source = LongTs();
    batch.Add({Q(Copy(batch.inputs, source, "live.ts")), Q(Copy(batch.inputs, MarkerClip("mp4"), "b.mp4"))});
    batch.SetFolder(batch.Out());
    auto stalled = std::make_unique<StalledPipe>(pipe, source, 3);
    QTimer closeWindow;
    QObject::connect(&closeWindow, &QTimer::timeout, [&] {
        const RunningBatch* running = batch.window.Batch();
        if (running != nullptr && running->FilePercent() > 0) {
            closeWindow.stop();
            batch.window.close();
        }
    });
    closeWindow.start(5);
    batch.Start();
    stalled.reset();
    EXPECT_EQ(batch.window.Batch(), nullptr);
    EXPECT_FALSE(batch.window.ProgressWindow()->isVisible());
    EXPECT_TRUE(batch.OutputNames().empty());
    EXPECT_EQ(batch.Status(0), "Ready");
    EXPECT_EQ(batch.Status(1), "Ready");
    EXPECT_TRUE(batch.environment.Messages().isEmpty());
    EXPECT_TRUE(batch.environment.ShellOpened().isEmpty());
}

// A new Start shows its own batch from the first moment, not what the previous one left.
TEST(BatchWindow, TheProgressWindowOpensOnTheNewBatch) {
    BatchWindow batch;
    batch.Add({Q(Copy(batch.inputs, MarkerClip("mp4"), "a.mp4")),
               Q(Copy(batch.inputs, MarkerClip("mov"), "b.mov"))});
    batch.SetFolder(batch.Out());
    batch.Start();
    ASSERT_EQ(batch.Status(0), "Done");
    batch.window.FileList()->topLevelItem(0)->setCheckState(0, Qt::Checked);
    QString batchText, fileText;
    int batchBar = -1;
    int fileBar = -1;
    QString reTickedStatus;
    QTimer::singleShot(0, [&] {
        batchText = batch.window.ProgressWindow()->BatchLabel()->text();
        batchBar = batch.window.ProgressWindow()->BatchBar()->value();
        fileBar = batch.window.ProgressWindow()->FileBar()->value();
        reTickedStatus = batch.Status(0);
    });
    batch.window.SetBatchTimerInterval(100000); // no tick before the first look
    QTimer end;
    QObject::connect(&end, &QTimer::timeout, [&] {
        if (batch.window.Batch() != nullptr && batch.window.Batch()->Finished()) {
            batch.window.BatchTimer();
        }
    });
    end.start(20);
    batch.Start();
    EXPECT_EQ(batchText, "0 of 1 files done");
    EXPECT_EQ(batchBar, 0);
    EXPECT_EQ(fileBar, 0);
    EXPECT_EQ(reTickedStatus, "Ready");
    EXPECT_EQ(batch.Status(0), "Done");
}

// With no tick of the batch timer in sight, the progress window still names the first file while the
// worker is inside it, and closes as soon as the worker ends: both come from the window's own wake-ups.
TEST(BatchWindow, TheFirstFileShowsAtOnceAndTheWindowClosesWhenTheBatchEnds) {
    BatchWindow batch;
    const std::string source = LongTs();
    const QStringList paths{Q(Copy(batch.inputs, source, "first.ts")),
                            Q(Copy(batch.inputs, MarkerClip("mp4"), "second.mp4"))};
    batch.Add(paths);
    ASSERT_EQ(batch.window.FileList()->topLevelItemCount(), 2);
    batch.SetFolder(batch.Out());
    batch.window.SetBatchTimerInterval(3600 * 1000);
    // The worker waits inside the first file until the pipe goes away.
    auto pipe = std::make_unique<StalledPipe>(paths[0].toStdString(), source, 2);
    QString firstLook;
    bool workerInFirst = false;
    QTimer look;
    QObject::connect(&look, &QTimer::timeout, [&] {
        const QString text = batch.window.ProgressWindow()->CurrentFileLabel()->text();
        if (!text.isEmpty()) {
            look.stop();
            firstLook = text;
            const RunningBatch* running = batch.window.Batch();
            workerInFirst = running != nullptr && running->CurrentEntry() <= 0 && !running->Finished();
            pipe.reset(); // the first file ends; the batch goes on to the second and ends
        }
    });
    look.start(5);
    batch.Start(); // returns when the progress window has closed; the watchdog ends a batch never seen to end
    look.stop();
    pipe.reset();

    EXPECT_TRUE(workerInFirst);
    EXPECT_TRUE(firstLook.contains(QStringLiteral("first.ts"))) << firstLook.toStdString();
    EXPECT_EQ(batch.window.Batch(), nullptr);
    EXPECT_FALSE(batch.window.ProgressWindow()->isVisible());
    EXPECT_FALSE(batch.window.BatchTimerActive());
    EXPECT_EQ(batch.Status(1), "Done");
}

class FakeHost : public ProgressHost {
public:
    void CancelBatch() override { ++cancels; }
    void SetOpenFolderWhenDone(bool open) override { openFolder = open; }
    void KillBatchTimer() override { ++timerKills; }
    int cancels = 0;
    bool openFolder = true;
    int timerKills = 0;
};

TEST(ProgressWindow, KeysDoNotCloseItTheCloseBoxStoresTheFolderChoice) {
    WindowTestEnvironment environment;
    FakeHost host;
    CAVConvertDlg progress;
    progress.SetHost(&host);
    progress.show();
    EXPECT_EQ(progress.windowTitle(), "Quarnix");
    EXPECT_EQ(progress.StopButton()->text(), "Stop");
    EXPECT_EQ(FindControl<QCheckBox>(&progress, 1148)->text(), "Open directory when finished");
    EXPECT_TRUE(progress.OpenFolderBox()->isChecked());
    QTest::keyClick(&progress, Qt::Key_Escape);
    QTest::keyClick(progress.StopButton(), Qt::Key_Return);
    EXPECT_TRUE(progress.isVisible());

    QTest::mouseClick(progress.OpenFolderBox(), Qt::LeftButton);
    EXPECT_FALSE(host.openFolder); // changed at once
    progress.close();
    EXPECT_FALSE(progress.isVisible());
    EXPECT_EQ(host.cancels, 1);
    EXPECT_EQ(host.timerKills, 1);
    EXPECT_EQ(IniValue(environment.SettingsFile(), "DIR", "open"), "0");

    // Stop closes without storing anything.
    progress.show();
    EXPECT_FALSE(progress.OpenFolderBox()->isChecked()); // read back from the settings
    QTest::mouseClick(progress.OpenFolderBox(), Qt::LeftButton);
    QTest::mouseClick(progress.StopButton(), Qt::LeftButton);
    EXPECT_FALSE(progress.isVisible());
    EXPECT_EQ(IniValue(environment.SettingsFile(), "DIR", "open"), "0");
}

} // namespace
} // namespace quarnix::test
