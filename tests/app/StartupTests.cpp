// The quarnix command line: files given at start-up reach the list, --help and --version answer without
// a display, unknown options are refused.
#include "WindowTestSupport.h"
#include "app/StartupOptions.h"
#include "app/TessalyApp.h"
#include "ui/main/TessalyDlg.h"

#include "Fixtures.h"
#include "QuarnixVersion.h"
#include "controls/CheckListCtrl.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QProcess>
#include <QTreeWidgetItem>

#include <gtest/gtest.h>

#include <fstream>

namespace quarnix {
namespace {

using test::MediaFixture;
using test::ScopedTempDir;
using test::WindowTestEnvironment;

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

TEST(StartupOptions, ParsesFilesHelpVersionAndUnknownOptions) {
    const QString cwd = QDir::currentPath();
    struct Case {
        QStringList arguments;
        StartupOptions::Action action;
        QStringList files;
    };
    const Case cases[] = {
        {{}, StartupOptions::Action::Run, {}},
        {{"/v/a.mp4", "b.mov"}, StartupOptions::Action::Run, {"/v/a.mp4", cwd + "/b.mov"}},
        {{"file:///v/with%20space.mkv"}, StartupOptions::Action::Run, {"/v/with space.mkv"}},
        {{"--", "-dash.mp4", "--help"}, StartupOptions::Action::Run, {cwd + "/-dash.mp4", cwd + "/--help"}},
        {{"a.mp4", "--help"}, StartupOptions::Action::Help, {}},
        {{"-h"}, StartupOptions::Action::Help, {}},
        {{"--version"}, StartupOptions::Action::Version, {}},
        {{"-platform", "offscreen", "-v"}, StartupOptions::Action::Version, {}},
        {{"a.mp4", "--bogus"}, StartupOptions::Action::UsageError, {}},
    };
    for (const Case& c : cases) {
        const StartupOptions options = ParseStartupArguments(c.arguments);
        EXPECT_EQ(options.action, c.action) << c.arguments.join(' ').toStdString();
        EXPECT_EQ(options.files, c.files) << c.arguments.join(' ').toStdString();
    }
    EXPECT_EQ(ParseStartupArguments({"--bogus"}).error, "unknown option '--bogus'");
}

TEST(Startup, FilesFromTheCommandLineAreInTheListOnceTheWindowShows) {
    WindowTestEnvironment environment;
    const std::string first =
        MediaFixture("start-a.mp4", "-f lavfi -i testsrc2=s=160x120:r=8:d=1 -c:v libx264");
    const std::string second =
        MediaFixture("start-b.mkv", "-f lavfi -i testsrc2=s=176x144:r=10:d=1 -c:v libx264");
    ASSERT_FALSE(first.empty());
    ASSERT_FALSE(second.empty());
    CTessalyDlg window;
    AddFilesWhenShown(window, {Q(first), Q(second)});
    EXPECT_EQ(window.FileList()->topLevelItemCount(), 0); // nothing before the event loop runs
    window.show();
    const QDeadlineTimer deadline(30000);
    while (window.FileList()->topLevelItemCount() < 2 && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    ASSERT_EQ(window.FileList()->topLevelItemCount(), 2);
    EXPECT_EQ(window.FileList()->topLevelItem(0)->text(0), Q(first));
    EXPECT_EQ(window.FileList()->topLevelItem(1)->text(0), Q(second));
    EXPECT_EQ(window.FileList()->topLevelItem(1)->text(3), "176*144");
    EXPECT_TRUE(environment.Messages().isEmpty());
}

TEST(Startup, ARefusedFileIsReportedLikeADroppedOne) {
    WindowTestEnvironment environment;
    ScopedTempDir dir;
    std::ofstream(dir.file("notes.mp4")) << "not a video";
    CTessalyDlg window;
    AddFilesWhenShown(window, {Q(dir.file("notes.mp4"))});
    window.show();
    const QDeadlineTimer deadline(30000);
    while (environment.Messages().isEmpty() && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    EXPECT_EQ(environment.Messages(), QStringList{"The file notes.mp4 cannot be read as a video."});
    EXPECT_EQ(window.FileList()->topLevelItemCount(), 0);
}

// The built quarnix (build/bin).
QString QuarnixProgram() {
    return QStringLiteral(QUARNIX_APP_BIN_DIR "/quarnix");
}

struct ProcessRun {
    int exitCode = -1;
    QString out;
    QString err;
};

// Runs the built quarnix with no display at all: a window could not open, so only an answer that needs
// none can succeed.
ProcessRun RunQuarnix(const QStringList& arguments) {
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("DISPLAY");
    env.remove("WAYLAND_DISPLAY");
    env.insert("QT_QPA_PLATFORM", "xcb");
    process.setProcessEnvironment(env);
    process.start(QuarnixProgram(), arguments);
    ProcessRun run;
    if (!process.waitForFinished(30000)) {
        process.kill();
        process.waitForFinished();
        ADD_FAILURE() << "quarnix did not end: " << process.errorString().toStdString();
        return run;
    }
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = QString::fromLocal8Bit(process.readAllStandardOutput());
    run.err = QString::fromLocal8Bit(process.readAllStandardError());
    return run;
}

TEST(Startup, HelpAndVersionAnswerWithoutOpeningAWindow) {
    const ProcessRun version = RunQuarnix({"--version"});
    EXPECT_EQ(version.exitCode, 0) << version.err.toStdString();
    EXPECT_EQ(version.out, QString("quarnix %1\n").arg(kVersion));

    const ProcessRun help = RunQuarnix({"--help"});
    EXPECT_EQ(help.exitCode, 0) << help.err.toStdString();
    EXPECT_TRUE(help.out.startsWith("Usage: quarnix [--] [FILE...]")) << help.out.toStdString();
    EXPECT_TRUE(help.err.isEmpty()) << help.err.toStdString();
}

TEST(Startup, AnUnknownOptionIsAUsageError) {
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    process.setProcessEnvironment(env);
    process.start(QuarnixProgram(), {"--bogus"});
    ASSERT_TRUE(process.waitForFinished(30000));
    EXPECT_EQ(process.exitCode(), 2);
    const QString err = QString::fromLocal8Bit(process.readAllStandardError());
    EXPECT_TRUE(err.contains("quarnix: unknown option '--bogus'\nUsage: quarnix")) << err.toStdString();
}

} // namespace
} // namespace quarnix
