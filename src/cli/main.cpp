// quarnix-cli: probe and rotate videos from scripts, with the engine the window uses.
#include "CliCommands.h"

#include <QCoreApplication>
#include <cstdio>
#include <unistd.h>

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    QStringList arguments = QCoreApplication::arguments();
    arguments.removeFirst();
    return quarnix::cli::RunCommandLine(arguments, out, err, isatty(fileno(stderr)) != 0);
}
