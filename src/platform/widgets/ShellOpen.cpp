#include "platform/widgets/ShellOpen.h"

#include <QDesktopServices>
#include <QDir>
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

bool OpenWithDesktopTools(const QUrl& url) {
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
        if (QProcess::startDetached(program, opener.leadingArguments + QStringList{target})) {
            return true;
        }
    }
    return false;
}

} // namespace

int ShellOpen(const QString& target) {
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
    if (QDesktopServices::openUrl(url) || OpenWithDesktopTools(url)) {
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
