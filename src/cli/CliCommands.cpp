#include "cli/CliCommands.h"

#include "cli/CancelSignal.h"
#include "cli/JsonLines.h"
#include "core/BatchPlanner.h"
#include "engine/Batch.h"
#include "engine/EngineLog.h"
#include "engine/Probe.h"

#include <chrono>
#include <memory>
#include <optional>
#include <sys/stat.h>

namespace quarnix::cli {

namespace {

std::string RowText(const MediaFacts& facts, const std::string& path) {
    const std::array<std::string, 7> columns = ListRowTexts(path, facts);
    std::string row = columns[0];
    for (std::size_t i = 1; i < std::size(columns); ++i) {
        row += "\t" + columns[i];
    }
    return row + "\t" + ShownTransformText(facts);
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

void ShowProgress(const RunningBatch& batch, const std::vector<std::string>& inputs, std::ostream& err) {
    const int current = batch.CurrentEntry();
    const int percent = batch.FilePercent();
    if (current < 0 || current >= static_cast<int>(inputs.size())) {
        return;
    }
    err << "\r\033[K[" << (current + 1) << "/" << inputs.size() << "] "
        << TerminalSafe(FileNameOf(inputs[static_cast<std::size_t>(current)]));
    if (percent >= 0 && percent <= 100) {
        err << "  " << percent << "%";
    }
    err.flush();
}

// What stands where the output folder should be: nothing, or something that is no folder.
std::string FolderProblem(const std::string& folder) {
    struct stat info {};
    if (::stat(folder.c_str(), &info) != 0) {
        return "does not exist";
    }
    return S_ISREG(info.st_mode) ? "is a file, not a folder" : "is not a folder";
}

// The way of rotating the request chose, into the planned job; each file's angle and way are its own
// (PlannedInput).
void ApplyRotateOptions(const RotateRequest& request, CConvertJob& job) {
    job.m_absoluteRotation = request.absolute ? 1 : 0;
    job.m_keepMatroska = request.keepMatroska ? 1 : 0;
}

// The value of --angle: 0, 90, 180 or 270; -1 for anything else.
int ParseAngle(const std::string& value) {
    for (int angle : {0, 90, 180, 270}) {
        if (value == std::to_string(angle)) {
            return angle;
        }
    }
    return -1;
}

// Reads the arguments of the rotate command into a request.
class RotateArguments {
public:
    explicit RotateArguments(RotateRequest& request) : m_request(request) {}

    // Takes the options and files; the exit status when one is wrong, nullopt otherwise.
    std::optional<int> Read(const std::vector<std::string>& args, std::ostream& err) {
        bool filesOnly = false;
        for (std::size_t i = 0; i < args.size(); ++i) {
            const std::string& arg = args[i];
            if (!filesOnly && arg == "--") {
                filesOnly = true;
            } else if (!filesOnly && (arg == "--reencode" || arg == "--mark")) {
                // The way of the files after it.
                m_reencodeNext = arg == "--reencode";
                m_request.reencode = m_request.reencode || m_reencodeNext;
            } else if (!filesOnly &&
                       (arg == "--absolute" || arg == "--keep-matroska" || arg == "--replace")) {
                (arg == "--absolute"  ? m_request.absolute
                 : arg == "--replace" ? m_request.replace
                                      : m_request.keepMatroska) = true;
            } else if (!filesOnly && (arg == "--angle" || arg == "--output")) {
                if (i + 1 >= args.size()) {
                    err << "error: " << arg << " needs a value\n";
                    return kExitUsageOrFolder;
                }
                if (const std::optional<int> exitCode = ReadValue(arg, args[++i], err)) {
                    return exitCode;
                }
            } else if (!filesOnly && arg.rfind("--", 0) == 0) {
                err << "error: unknown option '" << arg << "'\n" << UsageText();
                return kExitUsageOrFolder;
            } else {
                AddFile(arg);
            }
        }
        return std::nullopt;
    }

    // Gives every file its angle and way, and checks that the request is whole; the exit status when it
    // is not, nullopt otherwise.
    std::optional<int> Finish(std::ostream& err) {
        for (RotateRequest::FileChoice& choice : m_request.choices) {
            if (choice.angle < 0) {
                choice.angle = m_request.angle;
            }
            // A --reencode that no file follows is the whole command's.
            if (m_request.reencode && !m_fileAfterReencode) {
                choice.reencode = true;
            }
            if (choice.angle == 0 && !m_request.absolute) {
                return ZeroTurn(err);
            }
        }
        if (m_request.angle < 0 || m_request.outputFolder.empty() == !m_request.replace ||
            m_request.files.empty()) {
            err << "error: rotate needs --angle, --output (or --replace, not both) and at least one file\n"
                << UsageText();
            return kExitUsageOrFolder;
        }
        // A turn of 0 changes nothing; only the rotation to set can be 0 ("as recorded").
        if (m_request.angle == 0 && !m_request.absolute) {
            return ZeroTurn(err);
        }
        return std::nullopt;
    }

private:
    std::optional<int> ReadValue(const std::string& option, const std::string& value, std::ostream& err) {
        if (option != "--angle") {
            m_request.outputFolder = value;
            return std::nullopt;
        }
        m_angleNext = ParseAngle(value);
        if (m_angleNext < 0) {
            err << "error: --angle takes 90, 180 or 270 (or 0 with --absolute)\n";
            return kExitUsageOrFolder;
        }
        if (m_request.angle < 0) {
            m_request.angle = m_angleNext; // the first one: also for files given before it
        }
        return std::nullopt;
    }

    void AddFile(const std::string& file) {
        m_request.files.push_back(file);
        m_request.choices.push_back({m_angleNext, m_reencodeNext});
        m_fileAfterReencode = m_fileAfterReencode || m_reencodeNext;
    }

    static int ZeroTurn(std::ostream& err) {
        err << "error: --angle 0 needs --absolute (a turn of 0 changes nothing)\n";
        return kExitUsageOrFolder;
    }

    RotateRequest& m_request;
    int m_angleNext = -1;        // the --angle given last, for the files after it
    bool m_reencodeNext = false; // --reencode (true) or --mark (false) given last
    bool m_fileAfterReencode = false;
};

// The files of a rotate request that are videos of a known container, with the turn and way each gets.
struct AcceptedInputs {
    std::vector<PlannedInput> accepted;
    bool anyRefused = false;
};

// Probes every file of the request and tells of each one refused; nullopt when interrupted meanwhile.
std::optional<AcceptedInputs> AcceptInputs(const RotateRequest& request,
                                           const std::atomic<std::uint8_t>& interrupted, std::ostream& out,
                                           std::ostream& err) {
    AcceptedInputs inputs;
    for (std::size_t at = 0; at < request.files.size(); ++at) {
        const std::string& file = request.files[at];
        if (interrupted.load() != 0) {
            err << "quarnix-cli: interrupted before the batch started\n";
            return std::nullopt;
        }
        const MediaFacts facts = ProbeMedia(file, &interrupted, ProbeDepth::kAcceptance);
        if (!facts.Accepted() || !HasContainerExtension(file)) {
            if (request.json) {
                out << RefusedJsonLine(file, facts.Accepted() ? "its extension names no video container"
                                                              : facts.refusal);
            } else {
                err << "refused\t" << file << "\n";
            }
            inputs.anyRefused = true;
            continue;
        }
        const RotateRequest::FileChoice choice =
            at < request.choices.size() ? request.choices[at]
                                        : RotateRequest::FileChoice{request.angle, request.reencode};
        inputs.accepted.push_back(
            {file, facts.durationUs, Turn{choice.angle, request.absolute}, choice.reencode});
    }
    return inputs;
}

// The output folder as the messages name it: with --replace the outputs go beside their originals.
std::string ShownOutputFolder(const RotateRequest& request) {
    return request.replace ? std::string("a folder of the files to replace") : request.outputFolder;
}

// The batch of the accepted files, with the request's way of rotating.
BatchPlan PlanRotateJob(const RotateRequest& request, const std::vector<PlannedInput>& accepted,
                        const std::string& folder) {
    BatchPlan plan = request.replace ? PlanReplaceBatch(accepted, request.angle)
                                     : PlanBatch(folder, accepted, request.angle);
    if (plan.job) {
        ApplyRotateOptions(request, *plan.job);
    }
    return plan;
}

// Tells why the batch cannot start; the exit status then, nullopt when it can start.
std::optional<int> ReportPlanProblem(const RotateRequest& request, PlanProblem problem,
                                     const std::string& folder, std::ostream& out, std::ostream& err) {
    switch (problem) {
    case PlanProblem::kNone:
        return std::nullopt;
    case PlanProblem::kNoEntries:
        out.flush();
        return kExitSomeFileNotDone;
    case PlanProblem::kTooManyEntries:
        err << "error: a batch holds at most " << CConvertJob::kMaxEntries << " files\n";
        break;
    case PlanProblem::kFolderMissing:
        if (request.replace) {
            err << "error: a folder of the files to replace does not exist\n";
        } else {
            err << "error: the output folder " << FolderProblem(folder) << ": " << folder << "\n";
        }
        break;
    case PlanProblem::kFolderNotWritable:
        err << "error: the output folder cannot be written: " << folder << "\n";
        break;
    case PlanProblem::kNotEnoughSpace:
        err << "error: not enough free space in the output folder: " << folder << "\n";
        break;
    }
    return kExitUsageOrFolder;
}

// Waits for the batch to end, showing its progress on a terminal and cancelling it on an interrupt.
void WaitWithProgress(const RotateRequest& request, RunningBatch& batch,
                      const std::vector<std::string>& inputs, const std::atomic<std::uint8_t>& interrupted,
                      std::ostream& err) {
    // Looks at the interrupt flag and the progress between waits, and goes on the moment the batch ends.
    if (request.showProgress) {
        ShowProgress(batch, inputs, err);
    }
    while (!batch.WaitFor(std::chrono::milliseconds(request.showProgress ? 100 : 20))) {
        if (interrupted.load() != 0) {
            batch.Cancel();
        }
        if (request.showProgress) {
            ShowProgress(batch, inputs, err);
        }
    }
    batch.Wait();
}

// How many converted files were written each way.
struct MethodCounts {
    int marked = 0;
    int remuxed = 0;
    int reencoded = 0;

    void Count(WriteMethod method) {
        (method == WriteMethod::kMarkedInPlace ? marked
         : method == WriteMethod::kReencoded   ? reencoded
                                               : remuxed) += 1;
    }
};

// The line of one file on stdout, why it failed on stderr, and with --verbose how it was written.
void ReportOutcome(const RotateRequest& request, const EntryOutcome& outcome, std::ostream& out,
                   std::ostream& err) {
    if (request.json) {
        out << RotateJsonLine(outcome);
    } else {
        out << StatusWord(outcome.status) << "\t" << outcome.inputPath << "\t" << outcome.outputPath << "\n";
    }
    if (!outcome.reason.empty()) {
        err << "quarnix-cli: " << outcome.inputPath << ": " << outcome.reason << "\n";
    }
    if (outcome.status == kFileStatusConverted && request.verbose) {
        err << "quarnix-cli: " << outcome.inputPath << ": " << outcome.methodDetail << "\n";
    }
}

void ReportMethodCounts(const MethodCounts& counts, std::ostream& err) {
    err << "quarnix-cli: " << counts.marked << " marked in place, " << counts.remuxed << " remuxed";
    if (counts.reencoded > 0) {
        err << ", " << counts.reencoded << " with the pictures turned";
    }
    err << "\n";
}

// Reports every file of the ended batch; whether all of them were converted.
bool ReportOutcomes(const RotateRequest& request, const RunningBatch& batch, int count, std::ostream& out,
                    std::ostream& err) {
    bool allConverted = true;
    MethodCounts counts;
    for (int i = 0; i < count; ++i) {
        const EntryOutcome outcome = batch.OutcomeOf(i);
        allConverted = allConverted && outcome.status == kFileStatusConverted;
        ReportOutcome(request, outcome, out, err);
        if (outcome.status == kFileStatusConverted) {
            counts.Count(outcome.method);
        }
    }
    if (request.verbose) {
        ReportMethodCounts(counts, err);
    }
    return allConverted;
}

} // namespace

std::string UsageText() {
    return "Usage:\n"
           "  quarnix-cli probe [--] FILE...\n"
           "      One line per accepted file: path, extension, duration, frame size, video bit rate,\n"
           "      frame rate, profile, and how players show it now (0, 90, 180 or 270 degrees\n"
           "      clockwise, then ' mirrored' when mirrored), tab-separated. Refused files:\n"
           "      'refused<TAB>FILE' on stderr.\n"
           "  quarnix-cli rotate --angle 90|180|270 [--absolute] [--reencode|--mark] [--keep-matroska]\n"
           "                    --output DIR|--replace [--] FILE...\n"
           "      Copies every audio and video stream of each file into DIR (same name and container,\n"
           "      never replacing a file) and turns the video clockwise by the angle from how players\n"
           "      show it now: a clip already shown at 90 and turned 90 shows at 180; a mirror stays.\n"
           "      --absolute: the angle is the rotation to set (0, 90, 180 or 270); --angle 0 clears a\n"
           "      wrong mark and shows the pictures as recorded.\n"
           "      --reencode: turns the pictures themselves (the video is encoded again, no mark), for\n"
           "      players and devices that honour no rotation mark.\n"
           "      --keep-matroska: MKV and WebM stay Matroska (by default they are written as MP4 when\n"
           "      MP4 keeps every stream, since most players ignore a Matroska rotation).\n"
           "      --replace instead of --output: each rotated file is written beside its original, flushed\n"
           "      to the disk, and only then put in the original's place in one rename (keeping its date\n"
           "      and permissions); where the container changes, the original is removed only after the\n"
           "      new file is in place. When anything fails, the original is left as it was.\n"
           "      --angle and --reencode (or --mark, back to marking) may be given again between files:\n"
           "      each applies to the files after it, so one batch gives every file its own turn.\n"
           "      One line per file: converted|failed|pending, input, output (tab-separated); the\n"
           "      output is the name the file really got. Why a file failed: 'quarnix-cli: FILE: reason'\n"
           "      on stderr. Ctrl-C stops at once: the current file is removed, the rest stay pending.\n"
           "  quarnix-cli --help | --version\n"
           "Options: --verbose shows the media libraries' stream descriptions. --json prints one JSON\n"
           "object per line per file instead, refused files included (input, status, output, reason,\n"
           "note, method); a name that is not UTF-8 also comes as its bytes in 'input_base64'.\n"
           "Arguments after '--' are always files. Paths are printed byte for byte as given.\n"
           "Exit status: 0 all files done, 1 some file refused, failed or pending, 2 usage or folder "
           "error.\n";
}

int RunProbe(const std::vector<std::string>& files, std::ostream& out, std::ostream& err, bool json) {
    bool allAccepted = true;
    for (const std::string& file : files) {
        const MediaFacts facts = ProbeMedia(file);
        if (!facts.Accepted()) {
            (json ? out : err) << (json ? RefusedJsonLine(file, facts.refusal) : "refused\t" + file + "\n");
            allAccepted = false;
            continue;
        }
        out << (json ? ProbeJsonLine(file, facts) : RowText(facts, file) + "\n");
    }
    out.flush();
    err.flush();
    return allAccepted ? kExitSuccess : kExitSomeFileNotDone;
}

int RunRotate(const RotateRequest& request, std::ostream& out, std::ostream& err) {
    // Ctrl-C stops the whole command: a probe waiting for data as well as the batch.
    std::atomic<std::uint8_t> interrupted{0};
    CancelOnInterrupt cancelOnInterrupt(interrupted);
    const std::optional<AcceptedInputs> inputs = AcceptInputs(request, interrupted, out, err);
    if (!inputs) {
        return kExitSomeFileNotDone;
    }
    const std::string folder = ShownOutputFolder(request);
    BatchPlan plan = PlanRotateJob(request, inputs->accepted, folder);
    if (const std::optional<int> exitCode = ReportPlanProblem(request, plan.problem, folder, out, err)) {
        return *exitCode;
    }
    const int count = plan.job->m_fileCount;
    const std::vector<std::string> names = plan.job->m_inputPaths;
    std::atomic<std::uint8_t>& batchCancel = plan.job->m_cancel;
    RunningBatch batch(std::move(plan.job));
    cancelOnInterrupt.AlsoCancel(&batchCancel);
    WaitWithProgress(request, batch, names, interrupted, err);
    cancelOnInterrupt.AlsoCancel(nullptr);
    if (request.showProgress) {
        err << "\r\033[K";
        err.flush();
    }
    const bool allConverted = ReportOutcomes(request, batch, count, out, err) && !inputs->anyRefused;
    out.flush();
    err.flush();
    return allConverted ? kExitSuccess : kExitSomeFileNotDone;
}

int RunCommandLine(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err,
                   bool stderrIsTerminal) {
    // Options are read up to "--"; everything after it is a file, whatever it looks like.
    std::vector<std::string> args;
    bool filesOnly = false;
    bool verbose = false;
    bool json = false;
    for (const std::string& argument : arguments) {
        if (!filesOnly && (argument == "--verbose" || argument == "--json")) {
            (argument == "--json" ? json : verbose) = true;
            continue;
        }
        filesOnly = filesOnly || argument == "--";
        args.push_back(argument);
    }
    SetLogLevel(verbose ? kLogInfo : kLogError);
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
        return RunProbe(args, out, err, json);
    }
    if (command != "rotate") {
        err << "error: unknown command '" << command << "'\n" << UsageText();
        return kExitUsageOrFolder;
    }

    RotateRequest request;
    request.showProgress = stderrIsTerminal;
    request.verbose = verbose;
    request.json = json;
    RotateArguments reader(request);
    if (const std::optional<int> exitCode = reader.Read(args, err)) {
        return *exitCode;
    }
    if (const std::optional<int> exitCode = reader.Finish(err)) {
        return *exitCode;
    }
    return RunRotate(request, out, err);
}

} // namespace quarnix::cli
