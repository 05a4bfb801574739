// The conversion job record: the one structure through which the file list, the probe, the worker
// thread and the progress display exchange paths, media facts, targets, statuses and progress.
// Only m_fileStatus, m_filePercent, m_currentFile and m_cancel cross threads while a batch runs; they are
// atomics.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

namespace quarnix {

// Per-entry status values, read as signed bytes (255 pending reads as -1).
enum FileStatus : std::int8_t {
    kFileStatusPending = -1,
    kFileStatusConverted = 1,
    kFileStatusFailed = 2,
};

struct TimeBase {
    std::int32_t num = 0;
    std::int32_t den = 1;
};

struct CConvertJob {
    static constexpr int kMaxEntries = 9999;
    static constexpr int kStatusSlots = 10000;

    CConvertJob();
    CConvertJob(const CConvertJob&) = delete;
    CConvertJob& operator=(const CConvertJob&) = delete;

    // Re-encode targets: encoder codec ids (H.264 and AAC by default).
    std::int32_t m_videoCodecId = 27;
    std::int32_t m_audioCodecId = 86018;

    // Worker scratch of the current file (the FFmpeg objects themselves live in the worker's per-file state).
    std::int32_t m_packetStream = -1;
    double m_audioClock = 0.0; // seconds: output time of the last audio packet written
    double m_videoClock = 0.0; // seconds: output time of the last video packet written
    TimeBase m_videoTimeBase;
    TimeBase m_audioTimeBase;

    std::atomic<std::uint8_t> m_cancel{0}; // stop request, set by the display, polled by the worker
    std::uint8_t m_reencode = 0;           // 0: stream copy; 1: decode and encode
    std::uint8_t m_keepSourceSize = 0;     // re-encode: keep the decoder's picture size

    std::vector<std::string> m_inputPaths;  // UTF-8 input path of each entry
    std::vector<std::string> m_outputPaths; // UTF-8 output path of each entry

    std::array<std::atomic<std::int8_t>, kStatusSlots> m_fileStatus;
    std::array<double, kMaxEntries> m_fileDuration{}; // seconds, as the list shows it
    std::array<double, kMaxEntries> m_progressSpan{}; // divisor of each entry's percentage
    std::atomic<std::int32_t> m_filePercent{0}; // 0..100 for the current entry; negative: nothing to show

    // Re-encode targets.
    std::int32_t m_videoBitRate = 0;
    std::int32_t m_targetHeight = 0;
    std::int32_t m_targetWidth = 0;
    double m_targetFrameRate = 0.0;
    std::int32_t m_audioBitRate = 0;
    std::int32_t m_sampleRate = 0;
    std::int32_t m_channels = 0;

    std::atomic<std::int32_t> m_currentFile{-1}; // entry being converted; m_fileCount once the batch ended
    std::int32_t m_displayCount = 0;
    std::int32_t m_fileCount = 0;
    std::int32_t m_rotation = 0; // degrees clockwise: 0 (none), 90, 180 or 270

    // A list of n empty path entries, the form m_inputPaths and m_outputPaths take.
    static std::vector<std::string> AllocatePathList(int count);
};

// Runs a whole batch on the calling thread; returns 0 on a normal end, -1 when a hard failure ended it early.
int ConvertThreadProc(CConvertJob* job);

// The worker pauses this long after an output header could not be written (500 ms); fuzzing shortens it.
void SetPauseAfterHeaderFailure(std::chrono::milliseconds pause);

// Starts ConvertThreadProc on a new thread. The caller keeps the thread and joins it before it refills
// or frees the job.
std::thread StartConvertThread(CConvertJob& job);

} // namespace quarnix
