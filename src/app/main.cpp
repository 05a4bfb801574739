// quarnix: the window that rotates videos in batch.
#include "app/StartupOptions.h"
#include "app/TessalyApp.h"
#include "engine/EngineLog.h"
#include "platform/MemoryReuse.h"

#include <cstdio>

int main(int argc, char* argv[]) {
    // --help and --version are answered before the application object exists, so they need no display.
    QStringList raw;
    for (int i = 1; i < argc; ++i) {
        raw << QString::fromLocal8Bit(argv[i]);
    }
    const quarnix::StartupOptions early = quarnix::ParseStartupArguments(raw);
    if (early.action == quarnix::StartupOptions::Action::Help) {
        std::fputs(quarnix::StartupHelpText().toLocal8Bit().constData(), stdout);
        return 0;
    }
    if (early.action == quarnix::StartupOptions::Action::Version) {
        std::fputs(quarnix::StartupVersionText().toLocal8Bit().constData(), stdout);
        return 0;
    }

    quarnix::TuneHeapForBatches();
    // The media libraries describe every probed file at their default level; the window shows its own
    // texts, so only their errors reach the terminal it was started from.
    quarnix::SetLogLevel(quarnix::kLogError);
    quarnix::CTessalyApp app(argc, argv);
    // QApplication has taken its own options (-platform, -style, ...) out of the arguments by now.
    const quarnix::StartupOptions options = quarnix::ParseStartupArguments(QApplication::arguments().mid(1));
    if (options.action == quarnix::StartupOptions::Action::UsageError) {
        std::fprintf(stderr, "quarnix: %s\n%s", qPrintable(options.error),
                     qPrintable(quarnix::StartupHelpText()));
        return 2;
    }
    return app.InitInstance(options.files);
}
