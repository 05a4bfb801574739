#include "CliCommands.h"

#include "CancelSignal.h"
#include "ConvertJob.h"
#include "FileSystem.h"
#include "MediaProbe.h"
#include "MediaText.h"
#include "OutputNaming.h"

#include <QFileInfo>
#include <QSet>
#include <chrono>
#include <memory>
#include <thread>

extern "C" {
#include <libavutil/log.h>
}

namespace quarnix::cli {

namespace {

struct ProbedFile {
    QString path;
    std::int32_t durationMs = 0;
};

QString Utf8(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// Probes one file into the job; false when the file is refused.
bool Probe(CConvertJob& job, const QString& path) {
    job.m_probePath = path.toUtf8().toStdString();
    return ProbeMediaFile(job) >= 0;
}

QString RowText(const CConvertJob& job, const QString& path) {
    const std::string utf8 = path.toUtf8().toStdString();
    QStringList columns{path,
                        Utf8(FileExtension(utf8)),
                        Utf8(FormatDuration(ListDurationMilliseconds(job.m_probeDuration))),
                        Utf8(FormatFrameSize(job.m_probeWidth, job.m_probeHeight)),
                        Utf8(FormatBitRate(job.m_videoBitRate)),
                        Utf8(FormatFrameRate(job.m_probeFrameRateNum, job.m_probeFrameRateDen)),
                        QString::number(job.m_probeProfile)};
    return columns.join(u'\t');
}

void ShowProgress(const CConvertJob& job, const QStringList& inputs, QTextStream& err) {
    const int current = job.m_currentFile.load(std::memory_order_acquire);
    const int percent = job.m_filePercent.load(std::memory_order_relaxed);
    if (current < 0 || current >= inputs.size()) {
        return;
    }
    err << "\r\033[K[" << (current + 1) << "/" << inputs.size() << "] " << FileNameOf(inputs[current]);
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

QString UsageText() {
    return QStringLiteral(
        "Usage:\n"
        "  quarnix-cli probe FILE...\n"
        "      One line per accepted file: path, extension, duration, frame size, video bit rate,\n"
        "      frame rate, profile (tab-separated). Refused files: 'refused<TAB>FILE' on stderr.\n"
        "  quarnix-cli rotate --angle 90|180|270 --output DIR FILE...\n"
        "      Copies every audio and video stream of each file into DIR (same name and container,\n"
        "      never replacing a file) and marks the video as turned clockwise by the angle.\n"
        "      One line per file: converted|failed|pending, input, output (tab-separated).\n"
        "  quarnix-cli --help\n"
        "Options: --verbose shows the media libraries' stream descriptions.\n"
        "Exit status: 0 all files done, 1 some file refused, failed or pending, 2 usage or folder error.\n");
}

int RunProbe(const QStringList& files, QTextStream& out, QTextStream& err) {
    auto job = std::make_unique<CConvertJob>();
    bool allAccepted = true;
    for (const QString& file : files) {
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

int RunRotate(const RotateRequest& request, QTextStream& out, QTextStream& err) {
    auto job = std::make_unique<CConvertJob>();
    std::vector<ProbedFile> accepted;
    bool anyRefused = false;
    for (const QString& file : request.files) {
        if (!Probe(*job, file) || !FileNameOf(file).contains(u'.')) {
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

    const QString& folder = request.outputFolder;
    if (!QFileInfo(folder).isDir()) {
        err << "error: the output folder does not exist: " << folder << "\n";
        return kExitUsageOrFolder;
    }
    if (!WriteProbeFile(folder)) {
        err << "error: the output folder cannot be written: " << folder << "\n";
        return kExitUsageOrFolder;
    }
    QStringList inputs;
    for (const ProbedFile& file : accepted) {
        inputs << file.path;
    }
    if (!HasRoomFor(folder, TotalFileSize(inputs))) {
        err << "error: not enough free space in the output folder: " << folder << "\n";
        return kExitUsageOrFolder;
    }

    const int count = static_cast<int>(accepted.size());
    job->m_displayCount = job->m_fileCount = count;
    job->m_inputPaths = CConvertJob::AllocatePathList(count);
    job->m_outputPaths = CConvertJob::AllocatePathList(count);
    QStringList outputs;
    QSet<QString> taken;
    for (int i = 0; i < count; ++i) {
        const QString output = MakeOutputPath(folder, accepted[i].path, taken);
        taken.insert(output);
        outputs << output;
        job->m_inputPaths[i] = accepted[i].path.toUtf8().toStdString();
        job->m_outputPaths[i] = output.toUtf8().toStdString();
        job->m_fileDuration[i] = accepted[i].durationMs / 1000.0;
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
        const std::int8_t status = job->m_fileStatus[i].load(std::memory_order_acquire);
        allConverted = allConverted && status == kFileStatusConverted;
        out << StatusWord(status) << "\t" << inputs[i] << "\t" << outputs[i] << "\n";
    }
    out.flush();
    return allConverted ? kExitSuccess : kExitSomeFileNotDone;
}

int RunCommandLine(const QStringList& arguments, QTextStream& out, QTextStream& err, bool stderrIsTerminal) {
    QStringList args = arguments;
    av_log_set_level(args.removeAll(QStringLiteral("--verbose")) > 0 ? AV_LOG_INFO : AV_LOG_ERROR);
    if (args.isEmpty()) {
        err << UsageText();
        return kExitUsageOrFolder;
    }
    const QString command = args.takeFirst();
    if (command == u"--help" || command == u"-h" || command == u"help") {
        out << UsageText();
        return kExitSuccess;
    }
    if (command == u"probe") {
        if (args.isEmpty()) {
            err << "error: probe needs at least one file\n" << UsageText();
            return kExitUsageOrFolder;
        }
        return RunProbe(args, out, err);
    }
    if (command != u"rotate") {
        err << "error: unknown command '" << command << "'\n" << UsageText();
        return kExitUsageOrFolder;
    }

    RotateRequest request;
    request.showProgress = stderrIsTerminal;
    bool filesOnly = false;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& arg = args[i];
        if (!filesOnly && arg == u"--") {
            filesOnly = true;
        } else if (!filesOnly && (arg == u"--angle" || arg == u"--output")) {
            if (i + 1 >= args.size()) {
                err << "error: " << arg << " needs a value\n";
                return kExitUsageOrFolder;
            }
            const QString value = args[++i];
            if (arg == u"--angle") {
                bool ok = false;
                request.angle = value.toInt(&ok);
                if (!ok || (request.angle != 90 && request.angle != 180 && request.angle != 270)) {
                    err << "error: --angle takes 90, 180 or 270\n";
                    return kExitUsageOrFolder;
                }
            } else {
                request.outputFolder = value;
            }
        } else if (!filesOnly && arg.startsWith(u"--")) {
            err << "error: unknown option '" << arg << "'\n" << UsageText();
            return kExitUsageOrFolder;
        } else {
            request.files << arg;
        }
    }
    if (request.angle == 0 || request.outputFolder.isEmpty() || request.files.isEmpty()) {
        err << "error: rotate needs --angle, --output and at least one file\n" << UsageText();
        return kExitUsageOrFolder;
    }
    return RunRotate(request, out, err);
}

} // namespace quarnix::cli
