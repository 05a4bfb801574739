#include "ShellOpen.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QUrl>

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
    return QDesktopServices::openUrl(url) ? kShellOpenSucceeded : kShellNoAssociation;
}

void SetShellOpenHandler(ShellOpenHandler handler) {
    Handler() = std::move(handler);
}

} // namespace quarnix
