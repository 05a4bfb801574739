#include "CliCommands.h"

#include "BytePaths.h"
#include "CancelSignal.h"
#include "ConvertJob.h"
#include "MediaProbe.h"
#include "MediaText.h"

#include <chrono>
#include <memory>
#include <set>
#include <thread>

extern "C" {
#include <libavutil/log.h>
}

namespace quarnix::cli {

namespace {

struct ProbedFile {
    std::string path;
    std::int32_t durationMs = 0;
};

// Probes one file into the job; false when the file is refused.
bool Probe(CConvertJob& job, const std::string& path) {
    job.m_probePath = path;
    return ProbeMediaFile(job) >= 0;
}

std::string RowText(const CConvertJob& job, const std::string& path) {
    const std::string columns[] = {path,
                                   FileExtension(path),
                                   FormatDuration(ListDurationMilliseconds(job.m_probeDuration)),
                                   FormatFrameSize(job.m_probeWidth, job.m_probeHeight),
                                   FormatBitRate(job.m_videoBitRate),
                                   FormatFrameRate(job.m_probeFrameRateNum, job.m_probeFrameRateDen),
                                   std::to_string(job.m_probeProfile)};
    std::string row = columns[0];
    for (std::size_t i = 1; i < std::size(columns); ++i) {
        row += "\t" + columns[i];
    }
    return row;
}

// The progress line is rewritten in place on a terminal: control characters of a name would break it.
std::string TerminalSafe(const std::string& text) {
    std::string safe = text;
    for (char& c : safe) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
            c = '?';
        }
    }
    return safe;
}

void ShowProgress(const CConvertJob& job, const std::vector<std::string>& inputs, std::ostream& err) {
    const int current = job.m_currentFile.load(std::memory_order_acquire);
    const int percent = job.m_filePercent.load(std::memory_order_relaxed);
    if (current < 0 || current >= static_cast<int>(inputs.size())) {
        return;
    }
    err << "\r\033[K[" << (current + 1) << "/" << inputs.size() << "] "
        << TerminalSafe(FileNameOfBytes(inputs[static_cast<std::size_t>(current)]));
    if (percent >= 0 && percent <= 100) {
        err << "  " << percent << "%";
    }
    err.flush();
}

const char* StatusWord(std::int8_t status) {
    switch (status) {
    case kFileStatusConverted:
        return "converted";
    case kFileStatusFailed:
        return "failed";
    default:
        return "pending";
    }
}

} // namespace

std::string UsageText() {
    return "Usage:\n"
           "  quarnix-cli probe [--] FILE...\n"
           "      One line per accepted file: path, extension, duration, frame size, video bit rate,\n"
           "      frame rate, profile (tab-separated). Refused files: 'refused<TAB>FILE' on stderr.\n"
           "  quarnix-cli rotate --angle 90|180|270 --output DIR [--] FILE...\n"
           "      Copies every audio and video stream of each file into DIR (same name and container,\n"
           "      never replacing a file) and marks the video as turned clockwise by the angle.\n"
           "      One line per file: converted|failed|pending, input, output (tab-separated).\n"
           "  quarnix-cli --help | --version\n"
           "Options: --verbose shows the media libraries' stream descriptions. Arguments after '--' are\n"
           "always files. Paths are printed byte for byte as given.\n"
           "Exit status: 0 all files done, 1 some file refused, failed or pending, 2 usage or folder "
           "error.\n";
}

int RunProbe(const std::vector<std::string>& files, std::ostream& out, std::ostream& err) {
    auto job = std::make_unique<CConvertJob>();
    bool allAccepted = true;
    for (const std::string& file : files) {
        if (!Probe(*job, file)) {
            err << "refused\t" << file << "\n";
            allAccepted = false;
            continue;
        }
        out << RowText(*job, file) << "\n";
    }
    out.flush();
    err.flush();
    return allAccepted ? kExitSuccess : kExitSomeFileNotDone;
}

int RunRotate(const RotateRequest& request, std::ostream& out, std::ostream& err) {
    auto job = std::make_unique<CConvertJob>();
    std::vector<ProbedFile> accepted;
    bool anyRefused = false;
    for (const std::string& file : request.files) {
        if (!Probe(*job, file) || FileNameOfBytes(file).find('.') == std::string::npos) {
            err << "refused\t" << file << "\n";
            anyRefused = true;
            continue;
        }
        accepted.push_back({file, ListDurationMilliseconds(job->m_probeDuration)});
    }
    if (static_cast<int>(accepted.size()) > CConvertJob::kMaxEntries) {
        err << "error: a batch holds at most " << CConvertJob::kMaxEntries << " files\n";
        return kExitUsageOrFolder;
    }

    const std::string& folder = request.outputFolder;
    if (!IsFolderBytes(folder)) {
        err << "error: the output folder does not exist: " << folder << "\n";
        return kExitUsageOrFolder;
    }
    if (!WriteProbeFileBytes(folder)) {
        err << "error: the output folder cannot be written: " << folder << "\n";
        return kExitUsageOrFolder;
    }
    std::vector<std::string> inputs;
    for (const ProbedFile& file : accepted) {
        inputs.push_back(file.path);
    }
    if (!HasRoomForBytes(folder, inputs)) {
        err << "error: not enough free space in the output folder: " << folder << "\n";
        return kExitUsageOrFolder;
    }

    const int count = static_cast<int>(accepted.size());
    job->m_displayCount = job->m_fileCount = count;
    job->m_inputPaths = CConvertJob::AllocatePathList(count);
    job->m_outputPaths = CConvertJob::AllocatePathList(count);
    std::set<std::string> taken;
    for (int i = 0; i < count; ++i) {
        const auto at = static_cast<std::size_t>(i);
        const std::string output = MakeOutputPathBytes(folder, accepted[at].path, taken);
        taken.insert(output);
        job->m_inputPaths[at] = accepted[at].path;
        job->m_outputPaths[at] = output;
        job->m_fileDuration[at] = accepted[at].durationMs / 1000.0;
    }
    job->m_currentFile.store(-1);
    job->m_cancel.store(0);
    job->m_filePercent.store(0);
    job->m_reencode = 0;
    job->m_rotation = request.angle;

    CancelOnInterrupt cancelOnInterrupt(job->m_cancel);
    std::thread worker = StartConvertThread(*job);
    if (request.showProgress) {
        while (job->m_currentFile.load(std::memory_order_acquire) < count) {
            ShowProgress(*job, inputs, err);
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            if (job->m_cancel.load() != 0) {
                break;
            }
        }
    }
    worker.join();
    if (request.showProgress) {
        err << "\r\033[K";
        err.flush();
    }

    bool allConverted = !anyRefused;
    for (int i = 0; i < count; ++i) {
        const auto at = static_cast<std::size_t>(i);
        const std::int8_t status = job->m_fileStatus[at].load(std::memory_order_acquire);
        allConverted = allConverted && status == kFileStatusConverted;
        out << StatusWord(status) << "\t" << job->m_inputPaths[at] << "\t" << job->m_outputPaths[at] << "\n";
    }
    out.flush();
    return allConverted ? kExitSuccess : kExitSomeFileNotDone;
}

int RunCommandLine(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err,
                   bool stderrIsTerminal) {
    // Options are read up to "--"; everything after it is a file, whatever it looks like.
    std::vector<std::string> args;
    bool filesOnly = false;
    bool verbose = false;
    for (const std::string& argument : arguments) {
        if (!filesOnly && argument == "--verbose") {
            verbose = true;
            continue;
        }
        filesOnly = filesOnly || argument == "--";
        args.push_back(argument);
    }
    av_log_set_level(verbose ? AV_LOG_INFO : AV_LOG_ERROR);
    if (args.empty()) {
        err << UsageText();
        return kExitUsageOrFolder;
    }
    const std::string command = args.front();
    args.erase(args.begin());
    if (command == "--help" || command == "-h" || command == "help") {
        out << UsageText();
        return kExitSuccess;
    }
    if (command == "probe") {
        if (!args.empty() && args.front() == "--") {
            args.erase(args.begin());
        }
        if (args.empty()) {
            err << "error: probe needs at least one file\n" << UsageText();
            return kExitUsageOrFolder;
        }
        return RunProbe(args, out, err);
    }
    if (command != "rotate") {
        err << "error: unknown command '" << command << "'\n" << UsageText();
        return kExitUsageOrFolder;
    }

    RotateRequest request;
    request.showProgress = stderrIsTerminal;
    filesOnly = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (!filesOnly && arg == "--") {
            filesOnly = true;
        } else if (!filesOnly && (arg == "--angle" || arg == "--output")) {
            if (i + 1 >= args.size()) {
                err << "error: " << arg << " needs a value\n";
                return kExitUsageOrFolder;
            }
            const std::string& value = args[++i];
            if (arg == "--angle") {
                request.angle = value == "90" ? 90 : value == "180" ? 180 : value == "270" ? 270 : -1;
                if (request.angle < 0) {
                    err << "error: --angle takes 90, 180 or 270\n";
                    return kExitUsageOrFolder;
                }
            } else {
                request.outputFolder = value;
            }
        } else if (!filesOnly && arg.rfind("--", 0) == 0) {
            err << "error: unknown option '" << arg << "'\n" << UsageText();
            return kExitUsageOrFolder;
        } else {
            request.files.push_back(arg);
        }
    }
    if (request.angle == 0 || request.outputFolder.empty() || request.files.empty()) {
        err << "error: rotate needs --angle, --output and at least one file\n" << UsageText();
        return kExitUsageOrFolder;
    }
    return RunRotate(request, out, err);
}

} // namespace quarnix::cli
