// quarnix-cli: probe and rotate videos from scripts, with the engine the window uses.
#include "QuarnixVersion.h"
#include "cli/CliCommands.h"
#include "platform/MemoryReuse.h"

#include <QCoreApplication>
#include <cstdio>
#include <iostream>
#include <unistd.h>

int main(int argc, char* argv[]) {
    // File names are taken from argv as bytes before Qt sees them: Qt decodes arguments as UTF-8 and
    // would replace the bytes of a name that is not valid UTF-8.
    std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
    quarnix::TuneHeapForBatches();
    QCoreApplication app(argc, argv);
    std::ios::sync_with_stdio(true);
    if (arguments.size() == 1 && arguments.front() == "--version") {
        std::cout << "quarnix-cli " << quarnix::kVersion << '\n';
        return quarnix::cli::kExitSuccess;
    }
    return quarnix::cli::RunCommandLine(arguments, std::cout, std::cerr, isatty(fileno(stderr)) != 0);
}
