// quarnix-cli: probe and rotate videos from scripts, with the engine the window uses.
#include "CliCommands.h"
#include "QuarnixVersion.h"

#include <QCoreApplication>
#include <cstdio>
#include <iostream>
#ifdef _WIN32
#include <io.h>
#define QUARNIX_ISATTY _isatty
#define QUARNIX_FILENO _fileno
#else
#include <unistd.h>
#define QUARNIX_ISATTY isatty
#define QUARNIX_FILENO fileno
#endif

int main(int argc, char* argv[]) {
    // File names are taken from argv as bytes before Qt sees them: Qt decodes arguments as UTF-8 and
    // would replace the bytes of a name that is not valid UTF-8.
    std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
    QCoreApplication app(argc, argv);
#ifdef _WIN32
    arguments.clear();
    for (const QString& argument : QCoreApplication::arguments().mid(1)) {
        arguments.push_back(argument.toUtf8().toStdString());
    }
#endif
    std::ios::sync_with_stdio(true);
    if (arguments.size() == 1 && arguments.front() == "--version") {
        std::cout << "quarnix-cli " << quarnix::kVersion << '\n';
        return quarnix::cli::kExitSuccess;
    }
    return quarnix::cli::RunCommandLine(arguments, std::cout, std::cerr,
                                        QUARNIX_ISATTY(QUARNIX_FILENO(stderr)) != 0);
}
