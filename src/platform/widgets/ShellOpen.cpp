#include "platform/widgets/ShellOpen.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

#include <cstdio>

namespace quarnix {

namespace {

ShellOpenHandler& Handler() {
    static ShellOpenHandler handler;
    return handler;
}

// A URL scheme has at least two letters, so a Windows drive ("C:") is never taken for one.
bool HasScheme(const QUrl& url) {
    return url.isValid() && url.scheme().size() > 1;
}

// Openers tried when Qt's desktop services cannot open the address: Qt finds no launcher when xdg-open is
// missing, and some platform plugins (offscreen, minimal) have no desktop services at all.
struct Opener {
    const char* program;
    QStringList leadingArguments;
};

// An opener that ends with a failure this soon after it started failed to open the target (xdg-open ends
// at once with 3 or 4 when it finds no application, or the application refuses it). Later ends belong to
// an application the opener ran in its place, which the user has seen by then.
constexpr int kLateFailureWindowMs = 15000;

// Starts the opener and watches how it ends: a failure within the window is said on stderr and reported
// through failedLater (on the UI thread). False when it could not be started.
bool StartWatchedOpener(const QString& program, const QStringList& arguments, const QString& target,
                        const std::function<void()>& failedLater) {
    if (QCoreApplication::instance() == nullptr) {
        return QProcess::startDetached(program, arguments);
    }
    auto* process = new QProcess(QCoreApplication::instance());
    process->setProgram(program);
    process->setArguments(arguments);
    process->setProcessChannelMode(QProcess::ForwardedChannels);
    process->setStandardInputFile(QProcess::nullDevice());
    QElapsedTimer started;
    started.start();
    QObject::connect(process, &QProcess::finished, process,
                     [process, program, target, started, failedLater](int code, QProcess::ExitStatus status) {
                         process->deleteLater();
                         const bool failed = status != QProcess::NormalExit || code != 0;
                         if (!failed || started.elapsed() > kLateFailureWindowMs) {
                             return;
                         }
                         std::fprintf(stderr, "quarnix: %s could not open %s (exit code %d)\n",
                                      qPrintable(QFileInfo(program).fileName()), qPrintable(target), code);
                         if (failedLater) {
                             failedLater();
                         }
                     });
    process->start();
    if (!process->waitForStarted(5000)) {
        delete process;
        return false;
    }
    return true;
}

bool OpenWithDesktopTools(const QUrl& url, const std::function<void()>& failedLater) {
    static const Opener openers[] = {
        {"xdg-open", {}}, {"gio", {QStringLiteral("open")}}, {"kde-open", {}}, {"kde-open5", {}},
        {"exo-open", {}},
    };
    // Local files are handed over as plain paths, which every opener takes.
    const QString target = url.isLocalFile() ? url.toLocalFile() : url.toString(QUrl::FullyEncoded);
    for (const Opener& opener : openers) {
        const QString program = QStandardPaths::findExecutable(QString::fromLatin1(opener.program));
        if (program.isEmpty()) {
            continue;
        }
        if (StartWatchedOpener(program, opener.leadingArguments + QStringList{target}, target, failedLater)) {
            return true;
        }
    }
    return false;
}

} // namespace

int ShellOpen(const QString& target, const std::function<void()>& failedLater) {
    if (Handler()) {
        return Handler()(target);
    }
    const QString text = target.trimmed();
    if (text.isEmpty()) {
        return kShellFileNotFound;
    }
    QUrl url;
    if (QDir::isAbsolutePath(text) || QFileInfo::exists(text)) {
        // The desktop launcher reports success before it looks at the file, so a missing one is caught here.
        if (!QFileInfo::exists(text)) {
            return kShellFileNotFound;
        }
        url = QUrl::fromLocalFile(QFileInfo(text).absoluteFilePath());
    } else {
        url = QUrl(text, QUrl::StrictMode);
        if (!HasScheme(url)) {
            if (!text.startsWith(QStringLiteral("www."), Qt::CaseInsensitive)) {
                return kShellFileNotFound;
            }
            url = QUrl(QStringLiteral("http://") + text, QUrl::StrictMode);
        }
    }
    if (!url.isValid()) {
        return kShellFileNotFound;
    }
    // The desktop's openers are run here rather than through Qt's desktop services, which start them
    // detached and so never learn that one found nothing to open the target with; Qt's services remain
    // for a system that has none of them on PATH.
    if (OpenWithDesktopTools(url, failedLater) || QDesktopServices::openUrl(url)) {
        return kShellOpenSucceeded;
    }
    std::fprintf(stderr, "quarnix: no program to open %s with: install xdg-utils (xdg-open)\n",
                 qPrintable(url.isLocalFile() ? url.toLocalFile() : url.toString()));
    return kShellNoAssociation;
}

void SetShellOpenHandler(ShellOpenHandler handler) {
    Handler() = std::move(handler);
}

} // namespace quarnix
