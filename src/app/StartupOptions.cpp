#include "app/StartupOptions.h"

#include "QuarnixVersion.h"

#include <QFileInfo>
#include <QUrl>

namespace quarnix {

StartupOptions ParseStartupArguments(const QStringList& arguments) {
    StartupOptions options;
    bool filesOnly = false;
    for (const QString& argument : arguments) {
        if (!filesOnly && argument == u"--") {
            filesOnly = true;
            continue;
        }
        if (!filesOnly && (argument == u"--help" || argument == u"-h")) {
            options.action = StartupOptions::Action::Help;
            options.files.clear();
            return options;
        }
        if (!filesOnly && (argument == u"--version" || argument == u"-v")) {
            options.action = StartupOptions::Action::Version;
            options.files.clear();
            return options;
        }
        if (!filesOnly && argument.startsWith(u'-') && argument.size() > 1) {
            if (options.error.isEmpty()) {
                options.error = QStringLiteral("unknown option '%1'").arg(argument);
            }
            continue;
        }
        if (argument.isEmpty()) {
            continue;
        }
        QString path = argument;
        if (!filesOnly && argument.startsWith(QStringLiteral("file:"))) {
            path = QUrl(argument).toLocalFile();
        }
        options.files << QFileInfo(path).absoluteFilePath();
    }
    if (!options.error.isEmpty()) {
        options.action = StartupOptions::Action::UsageError;
        options.files.clear();
    }
    return options;
}

QString StartupHelpText() {
    return QStringLiteral(
        "Usage: quarnix [--] [FILE...]\n"
        "       quarnix --help | --version\n"
        "Opens the window that rotates videos in batch without re-encoding. Each FILE is\n"
        "added to the file list when the window opens, as if it had been dropped on it.\n"
        "Options:\n"
        "  -h, --help     print this text and exit\n"
        "  -v, --version  print the version and exit\n"
        "  --             every argument after it is a file\n"
        "Qt's own options (for example -platform offscreen) are accepted as well.\n"
        "Settings: $XDG_CONFIG_HOME/quarnix/setting.ini (default ~/.config/quarnix/), or a\n"
        "writable setting.ini beside the program. See quarnix(1).\n");
}

QString StartupVersionText() {
    return QStringLiteral("quarnix %1\n").arg(QString::fromLatin1(kVersion));
}

} // namespace quarnix
