#include "EngineFixtures.h"
#include "MediaFacts.h"
#include "StalledPipe.h"
#include "WindowTestSupport.h"
#include "controls/CheckListCtrl.h"
#include "controls/Label.h"
#include "platform/widgets/CloseOnTermination.h"
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
    // Matroska goes into MP4, which keeps all of it and whose rotation every player honours.
    EXPECT_EQ(ExifRotation(batch.outputs.file("c.mp4")), "270");
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

// Each row is rotated by its own turn: the rotation group sets the selected row's, Ctrl+Right turns a row
// further, Ctrl+0 clears a mark, and rows added later take the group's choice.
TEST(BatchWindow, EachRowIsRotatedByItsOwnTurn) {
    BatchWindow batch;
    batch.Add({Q(Copy(batch.inputs, MarkerClip("mp4"), "a.mp4")),
               Q(Copy(batch.inputs, MarkerClip("mov"), "b.mov"))});
    CCheckListCtrl* list = batch.window.FileList();
    list->clearSelection();
    list->topLevelItem(1)->setSelected(true);
    FindControl<QRadioButton>(&batch.window, 1007)->setChecked(true); // b: 180
    list->setFocus();
    QTest::keyClick(list, Qt::Key_Right, Qt::ControlModifier); // b: 270
    EXPECT_EQ(CTessalyDlg::RowTurn(*list->topLevelItem(1)), Turn::Clockwise(270));
    EXPECT_EQ(CTessalyDlg::RowTurn(*list->topLevelItem(0)), Turn::Clockwise(90));
    EXPECT_TRUE(list->topLevelItem(1)->toolTip(0).endsWith("Turn 270\u00b0 clockwise"));
    // Added after the group chose 180: c gets 180.
    batch.Add({Q(Copy(batch.inputs, MarkerClip("mp4"), "c.mp4"))});
    EXPECT_EQ(CTessalyDlg::RowTurn(*list->topLevelItem(2)), Turn::Clockwise(180));
    batch.SetFolder(batch.Out());
    batch.Start();
    EXPECT_EQ(ExifRotation(batch.outputs.file("a.mp4")), "90");
    EXPECT_EQ(ExifRotation(batch.outputs.file("b.mov")), "270");
    EXPECT_EQ(ExifRotation(batch.outputs.file("c.mp4")), "180");

    // Ctrl+0 on the rotated c: "as recorded" clears its mark.
    ScopedTempDir again;
    batch.Add({Q(batch.outputs.file("c.mp4"))});
    list->clearSelection();
    list->topLevelItem(3)->setSelected(true);
    QTest::keyClick(list, Qt::Key_0, Qt::ControlModifier);
    EXPECT_EQ(CTessalyDlg::RowTurn(*list->topLevelItem(3)), Turn::Absolute(0));
    batch.SetFolder(Q(again.path().string()));
    batch.Start();
    EXPECT_EQ(ExifRotation(again.file("c.mp4")), "0");
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

    // A folder that does not exist is offered to be made; declined, nothing is made.
    batch.SetFolder(Q(batch.outputs.file("missing")));
    batch.Start();
    EXPECT_EQ(batch.environment.Questions(),
              QStringList{"The folder " + Q(batch.outputs.file("missing")) + " does not exist. Create it?"});
    EXPECT_EQ(batch.environment.Messages().value(2), "The output folder does not exist.");
    EXPECT_FALSE(std::filesystem::exists(batch.outputs.file("missing")));

    batch.SetFolder("/proc");
    batch.Start();
    EXPECT_EQ(batch.environment.Messages().value(3),
              "Rotate failed\uFF0C please click browse button to save as other directory!");
    EXPECT_TRUE(std::filesystem::is_empty(batch.outputs.path()));
    EXPECT_EQ(batch.Status(0), "Ready");

    // Accepted, the folder and its parents are made and the batch runs into it.
    batch.environment.answerToQuestions = true;
    batch.SetFolder(Q(batch.outputs.file("new/inner")));
    batch.Start();
    EXPECT_EQ(batch.Status(0), "Done");
    EXPECT_TRUE(std::filesystem::exists(batch.outputs.path() / "new" / "inner" / "a.mp4"));
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

// "Replace the originals": asked once, the first time it is chosen; then each ticked row is rotated in its
// original's place (date kept), the output folder unused, and a failed row's original left as it was.
TEST(BatchWindow, ReplaceTheOriginalsIsAskedOnceAndRotatesInPlace) {
    BatchWindow batch;
    const std::string a = Copy(batch.inputs, MarkerClip("mp4"), "a.mp4");
    const std::string b = UnwritableAsMp4(batch.inputs, "b.mp4");
    const std::string bBefore = ReadFileBytes(b);
    const timespec old[2] = {{1400000000, 5}, {1400000000, 5}};
    ASSERT_EQ(utimensat(AT_FDCWD, a.c_str(), old, 0), 0);
    batch.Add({Q(a), Q(b)});
    auto* replace = FindControl<QCheckBox>(&batch.window, 1303);
    EXPECT_FALSE(replace->isChecked());
    replace->setChecked(true); // answered No
    EXPECT_FALSE(replace->isChecked());
    EXPECT_EQ(batch.environment.Questions().size(), 1);
    batch.environment.answerToQuestions = true;
    replace->setChecked(true);
    EXPECT_TRUE(replace->isChecked());
    EXPECT_FALSE(FindControl(&batch.window, 1077)->isEnabled());
    replace->setChecked(false);
    replace->setChecked(true); // asked only once
    EXPECT_EQ(batch.environment.Questions().size(), 2);
    batch.Start();
    EXPECT_EQ(batch.Status(0), "Done");
    EXPECT_EQ(batch.Status(1), "Failed");
    EXPECT_EQ(ExifRotation(a), "90");
    struct stat info {};
    ASSERT_EQ(stat(a.c_str(), &info), 0);
    EXPECT_EQ(info.st_mtim.tv_sec, 1400000000);
    EXPECT_EQ(ReadFileBytes(b), bBefore);
    EXPECT_TRUE(std::filesystem::is_empty(batch.outputs.path()));
    EXPECT_TRUE(batch.environment.ShellOpened().isEmpty());
    std::vector<std::string> names;
    for (const auto& item : std::filesystem::directory_iterator(batch.inputs.path())) {
        names.push_back(item.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"a.mp4", "b.mp4"}));
}

TEST(BatchWindow, AFailedFileIsNamedWithItsReasonInTheBatchAccount) {
    BatchWindow batch;
    batch.Add({Q(Copy(batch.inputs, MarkerClip("mp4"), "a.mp4")), Q(UnwritableAsMp4(batch.inputs, "b.mp4"))});
    batch.SetFolder(batch.Out());
    batch.Start();
    EXPECT_EQ(batch.environment.Messages(),
              QStringList{
                  "1 of 2 done, 1 failed: b.mp4 \u2014 the output container does not accept these streams"});
    // The files that were done are shown as for any batch.
    EXPECT_EQ(batch.environment.ShellOpened(), QStringList{batch.Out()});
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
    EXPECT_EQ(batch.environment.Messages(),
              QStringList{"2 of 3 done, 1 failed: b.mp4 \u2014 the input no longer exists"});
}

TEST(BatchWindow, AFirstFileThatFailsStaysTickedForTheNextStart) {
    BatchWindow batch;
    batch.Add({Q(UnwritableAsMp4(batch.inputs, "a.mp4")), Q(Copy(batch.inputs, MarkerClip("mp4"), "b.mp4")),
               Q(Copy(batch.inputs, MarkerClip("mov"), "c.mov"))});
    batch.SetFolder(batch.Out());
    batch.Start();
    ASSERT_EQ(batch.environment.Messages().size(), 1);
    EXPECT_TRUE(batch.environment.Messages()[0].startsWith("2 of 3 done, 1 failed: a.mp4 \u2014 "));
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
              (std::vector<std::string>{"f0.mp4", "f1.mp4", "f2.mp4", "f3.mp4", "f4.mp4"}));
    EXPECT_EQ(IniValue(batch.environment.SettingsFile(), "DIR", "open"), "1");
}

// "Turn the pictures" turns the frames themselves (no mark); "Keep MKV and WebM as Matroska" keeps a
// Matroska input Matroska and is remembered in setting.ini.
TEST(BatchWindow, TurnThePicturesAndKeepMatroskaChoices) {
    BatchWindow batch;
    batch.Add({Q(Copy(batch.inputs, MarkerClip("mp4"), "a.mp4")),
               Q(Copy(batch.inputs, MarkerClip("mkv"), "b.mkv"))});
    batch.SetFolder(batch.Out());
    auto* turnPictures = FindControl<QCheckBox>(&batch.window, 1301);
    auto* keepMatroska = FindControl<QCheckBox>(&batch.window, 1302);
    EXPECT_FALSE(turnPictures->accessibleName().isEmpty());
    EXPECT_FALSE(keepMatroska->accessibleName().isEmpty());
    EXPECT_FALSE(turnPictures->isChecked());
    EXPECT_FALSE(keepMatroska->isChecked());
    keepMatroska->setChecked(true);
    EXPECT_EQ(IniValue(batch.environment.SettingsFile(), "ROTATE", "keepmatroska"), "1");
    turnPictures->setChecked(true);
    batch.Start();
    for (int row = 0; row < 2; ++row) {
        EXPECT_EQ(batch.Status(row), "Done") << row;
    }
    for (const char* name : {"a.mp4", "b.mkv"}) {
        std::string size;
        RunCommand("ffprobe -v error -select_streams v:0 -show_entries stream=width,height -of csv=p=0 " +
                       ShellQuote(batch.outputs.file(name)),
                   &size);
        EXPECT_EQ(size.substr(0, size.find('\n')), "120,160") << name;
        EXPECT_FALSE(ReadMediaFacts(batch.outputs.file(name)).OfKind("video").at(0).matrixAngle.has_value())
            << name;
    }
}

// Closing the main window during a batch stops it and waits for the worker: nothing goes on writing. The
// same when the process is asked to end (SIGTERM at a logout, SIGHUP when its terminal goes).
TEST(BatchWindow, ClosingTheWindowDuringABatchStopsItAndLeavesNoPartialFile) {
    for (const int signal : {0, SIGTERM, SIGHUP}) {
        BatchWindow batch;
        const CloseOnTermination closeOnTermination(batch.window);
        const std::string pipe = batch.inputs.file("live.ts");
        const std::string source = LongTs();
        batch.Add(
            {Q(Copy(batch.inputs, source, "live.ts")), Q(Copy(batch.inputs, MarkerClip("mp4"), "b.mp4"))});
        batch.SetFolder(batch.Out());
        auto stalled = std::make_unique<StalledPipe>(pipe, source, 3);
        QTimer closeWindow;
        QObject::connect(&closeWindow, &QTimer::timeout, [&] {
            const RunningBatch* running = batch.window.Batch();
            if (running != nullptr && running->FilePercent() > 0) {
                closeWindow.stop();
                if (signal == 0) {
                    batch.window.close();
                } else {
                    std::raise(signal);
                }
            }
        });
        closeWindow.start(5);
        batch.Start();
        stalled.reset();
        EXPECT_EQ(batch.window.Batch(), nullptr) << signal;
        EXPECT_FALSE(batch.window.ProgressWindow()->isVisible()) << signal;
        EXPECT_FALSE(batch.window.isVisible()) << signal;
        EXPECT_TRUE(batch.OutputNames().empty()) << signal;
        EXPECT_EQ(batch.Status(0), "Ready");
        EXPECT_EQ(batch.Status(1), "Ready");
        EXPECT_TRUE(batch.environment.Messages().isEmpty());
        EXPECT_TRUE(batch.environment.ShellOpened().isEmpty());
    }
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

TEST(ProgressWindow, EscapeAndTheCloseBoxStopAndStoreTheFolderChoiceReturnDoesNot) {
    WindowTestEnvironment environment;
    FakeHost host;
    CAVConvertDlg progress;
    progress.SetHost(&host);
    progress.show();
    EXPECT_EQ(progress.windowTitle(), "Quarnix");
    EXPECT_EQ(progress.StopButton()->text(), "Stop");
    EXPECT_EQ(FindControl<QCheckBox>(&progress, 1148)->text(), "Open directory when finished");
    EXPECT_TRUE(progress.OpenFolderBox()->isChecked());
    // The focus starts on Stop, so Space stops rather than changing the folder choice.
    EXPECT_EQ(progress.focusWidget(), progress.StopButton());
    QTest::keyClick(progress.StopButton(), Qt::Key_Return);
    EXPECT_TRUE(progress.isVisible());
    QTest::keyClick(&progress, Qt::Key_Escape);
    EXPECT_FALSE(progress.isVisible());
    EXPECT_EQ(host.cancels, 1);
    EXPECT_EQ(IniValue(environment.SettingsFile(), "DIR", "open"), "1");
    progress.show();

    QTest::mouseClick(progress.OpenFolderBox(), Qt::LeftButton);
    EXPECT_FALSE(host.openFolder); // changed at once
    progress.close();
    EXPECT_FALSE(progress.isVisible());
    EXPECT_EQ(host.cancels, 2);
    EXPECT_EQ(host.timerKills, 2);
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
