// The commands of quarnix-cli: probe files as the file list would show them, and rotate a batch with
// the same job record, worker, naming and folder checks as the window's Start command.
// Arguments and printed paths are raw bytes: a Linux file name need not be valid UTF-8, and the program
// hands it to the engine and back to the caller unchanged.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace quarnix::cli {

enum ExitCode : int {
    kExitSuccess = 0,
    kExitSomeFileNotDone = 1,
    kExitUsageOrFolder = 2,
};

int RunProbe(const std::vector<std::string>& files, std::ostream& out, std::ostream& err, bool json = false);

struct RotateRequest {
    int angle = -1;            // clockwise degrees; -1 until --angle is given
    bool absolute = false;     // the angle is the rotation to set, not a turn of what players show now
    bool reencode = false;     // turn the pictures themselves (re-encode the video) instead of marking them
    bool keepMatroska = false; // a Matroska or WebM input stays Matroska even where MP4 would keep it all
    std::string outputFolder;
    bool replace = false; // --replace: each output takes its original's place (instead of --output)
    std::vector<std::string> files;
    // Per file, in the order of files: the --angle and the way (--reencode, or --mark) given last before
    // it. A file before the first --angle takes that first one; when no file follows a --reencode, every
    // file is re-encoded (the option then reads as the command's).
    struct FileChoice {
        int angle = -1;
        bool reencode = false;
    };
    std::vector<FileChoice> choices;
    bool showProgress = false;
    bool verbose = false; // report how each file was written (marked in place, or remuxed and why)
    bool json = false;    // one JSON object per line per file on stdout (JsonLines.h)
};

int RunRotate(const RotateRequest& request, std::ostream& out, std::ostream& err);

// Parses the arguments after the program name and runs the command.
int RunCommandLine(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err,
                   bool stderrIsTerminal);

std::string UsageText();

} // namespace quarnix::cli
