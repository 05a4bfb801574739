// The quarnix command line: files to add at start-up ("Open with" from a file manager, `quarnix a.mp4
// b.mov`), --help and --version.
#pragma once

#include <QString>
#include <QStringList>

namespace quarnix {

struct StartupOptions {
    enum class Action { Run, Help, Version, UsageError };
    Action action = Action::Run;
    QStringList files; // absolute paths, in the order given
    QString error;     // for UsageError
};

// Parses the arguments after the program name. --help/-h and --version/-v win wherever they stand before
// "--"; any other argument that starts with '-' before "--" is a usage error; every other argument is a
// file, made absolute against the current folder ("file:" URLs become local paths). Qt's own options
// (-platform, -style, ...) must have been taken out before, as QApplication does; a first pass over the
// raw arguments is still safe for --help and --version, which is how main answers them without a display.
StartupOptions ParseStartupArguments(const QStringList& arguments);

// The texts that --help and --version print on stdout.
QString StartupHelpText();
QString StartupVersionText();

} // namespace quarnix
