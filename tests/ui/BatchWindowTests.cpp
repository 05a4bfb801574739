#include "AVConvertDlg.h"
#include "CheckListCtrl.h"
#include "DialogBuilder.h"
#include "EngineFixtures.h"
#include "Label.h"
#include "MediaFacts.h"
#include "TessalyDlg.h"
#include "WindowTestSupport.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
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

TEST(BatchWindow, AFileNameWithoutExtensionStartsNothing) {
    BatchWindow batch;
    batch.Add({Q(Copy(batch.inputs, MarkerClip("mp4"), "a.mp4")),
               Q(Copy(batch.inputs, MarkerClip("mp4"), "plain"))});
    ASSERT_EQ(batch.window.FileList()->topLevelItemCount(), 2);
    batch.SetFolder(batch.Out());
    batch.Start();
    EXPECT_TRUE(batch.environment.Messages().isEmpty());
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

// A MOV file with PCM sound under an .mp4 name: the MP4 writer refuses its sound, so that entry fails.
std::string UnwritableAsMp4(const ScopedTempDir& dir, const std::string& name) {
    return Copy(dir,
                MediaFixture("pcm.mov", "-f lavfi -i testsrc2=s=160x120:r=25:d=1 -f lavfi -i sine=d=1 "
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
    EXPECT_TRUE(batch.Ticked(1));
    EXPECT_FALSE(std::filesystem::exists(batch.outputs.file("b.mp4")));
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

// The first input is turned into a pipe after it was listed, so the worker is surely inside it when Stop
// is pressed; a new Start and closing the window follow at once.
TEST(BatchWindow, StopKeepsTheCurrentOutputAndLeavesLaterRowsTicked) {
    BatchWindow batch;
    const std::string source = LongTs();
    const std::string first = Copy(batch.inputs, source, "first.ts");
    batch.Add({Q(first), Q(Copy(batch.inputs, MarkerClip("mp4"), "second.mp4"))});
    ASSERT_EQ(batch.window.FileList()->topLevelItemCount(), 2);
    std::filesystem::remove(first);
    ASSERT_EQ(mkfifo(first.c_str(), 0600), 0);
    std::signal(SIGPIPE, SIG_IGN);
    batch.SetFolder(batch.Out());

    std::atomic<bool> fed{false};
    std::thread feeder([&] {
        std::ifstream in(source, std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(in)), {});
        const int fd = open(first.c_str(), O_WRONLY);
        if (fd >= 0) {
            const ssize_t written = write(fd, bytes.data(), bytes.size() / 2);
            (void)written;
            fed = true;
            while (batch.window.Job() == nullptr || batch.window.Job()->m_cancel.load() == 0) {
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
            // More data, not an end of file, wakes a worker that waits in a read: it must stop on the cancel.
            const ssize_t rest = write(fd, bytes.data() + bytes.size() / 2, bytes.size() - bytes.size() / 2);
            (void)rest;
            close(fd);
        }
    });
    QTimer pressStop;
    QObject::connect(&pressStop, &QTimer::timeout, [&] {
        CConvertJob* job = batch.window.Job();
        if (fed && job != nullptr && job->m_filePercent.load() > 0) {
            pressStop.stop();
            QTest::mouseClick(batch.window.ProgressWindow()->StopButton(), Qt::LeftButton);
        }
    });
    pressStop.start(5);
    batch.Start();
    EXPECT_EQ(batch.Status(0), "Ready");
    EXPECT_TRUE(batch.Ticked(1));
    EXPECT_EQ(batch.Status(1), "Ready");
    // Stop returned at once; a new Start and the close must wait for the worker, not run under it.
    batch.window.FileList()->topLevelItem(0)->setCheckState(0, Qt::Unchecked);
    batch.Start();
    feeder.join();
    batch.window.close();

    EXPECT_EQ(batch.Status(0), "Ready");
    EXPECT_EQ(batch.Status(1), "Done"); // done by the second start
    // A transport stream cannot carry a rotation: its streams are written as QuickTime.
    const FileFacts partial = ReadMediaFacts(batch.outputs.file("first.mov"));
    ASSERT_TRUE(partial.opened);
    EXPECT_GT(partial.OfKind("video")[0].packets, 0);
    EXPECT_LT(partial.OfKind("video")[0].packets, ReadMediaFacts(source).OfKind("video")[0].packets);
    // Stop does not store the folder choice of the progress window; the end of the second batch does.
    EXPECT_EQ(IniValue(batch.environment.SettingsFile(), "DIR", "open"), "1");
}

class FakeHost : public ProgressHost {
public:
    CConvertJob* Job() const override { return job.get(); }
    void SetOpenFolderWhenDone(bool open) override { openFolder = open; }
    void KillBatchTimer() override { ++timerKills; }
    std::unique_ptr<CConvertJob> job = std::make_unique<CConvertJob>();
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
    EXPECT_EQ(host.job->m_cancel.load(), 1);
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
