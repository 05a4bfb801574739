// The commands of quarnix-cli: probe files as the file list would show them, and rotate a batch with
// the same job record, worker, naming and folder checks as the window's Start command.
#pragma once

#include <QStringList>
#include <QTextStream>

namespace quarnix::cli {

enum ExitCode : int {
    kExitSuccess = 0,
    kExitSomeFileNotDone = 1,
    kExitUsageOrFolder = 2,
};

int RunProbe(const QStringList& files, QTextStream& out, QTextStream& err);

struct RotateRequest {
    int angle = 0;
    QString outputFolder;
    QStringList files;
    bool showProgress = false;
};

int RunRotate(const RotateRequest& request, QTextStream& out, QTextStream& err);

// Parses the arguments after the program name and runs the command.
int RunCommandLine(const QStringList& arguments, QTextStream& out, QTextStream& err, bool stderrIsTerminal);

QString UsageText();

} // namespace quarnix::cli
