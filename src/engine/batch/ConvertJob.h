// The conversion job record: one batch's request (entries, angle, mode, re-encode targets), the worker's
// scratch, and the progress record the front ends follow. While a batch runs only the atomics cross
// threads; an entry's reason and real output path are written before its status is published (release),
// so a reader that sees a final status (acquire) may read them.
#pragma once

#include "engine/Rotation.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

namespace quarnix {

// Per-entry status values, read as signed bytes (255 pending reads as -1).
enum FileStatus : std::int8_t {
    kFileStatusPending = -1,
    kFileStatusConverted = 1,
    kFileStatusFailed = 2,
};

// How a converted entry was written.
enum class WriteMethod : std::uint8_t {
    kNone,          // not converted (yet)
    kMarkedInPlace, // a copy of the input's bytes with only its rotation marks rewritten
    kRemuxed,       // every stream copied packet by packet into a new container
    kReencoded,     // decoded and encoded again
};

// The detail of an entry marked in place, as the verbose report gives it; a remuxed entry's detail is
// "remuxed: " and why it could not be marked in place.
inline constexpr const char* kMarkedInPlace = "marked in place";

// What became of one entry, read once its status is final.
struct EntryOutcome {
    std::int8_t status = -1; // FileStatus
    std::string inputPath;
    std::string outputPath; // the name the output really got (when converted)
    std::string reason;     // why it failed, or a note on a converted file; plain words
    WriteMethod method = WriteMethod::kNone;
    std::string methodDetail; // how and why it was written so, for the verbose report
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
    double m_audioClock = 0.0; // seconds: output time of the last audio packet written
    double m_videoClock = 0.0; // seconds: output time of the last video packet written

    std::atomic<std::uint8_t> m_cancel{0}; // stop request, set by the display, polled by the worker
    std::uint8_t m_reencode = 0;           // 0: stream copy; 1: decode and encode
    std::uint8_t m_keepSourceSize = 0;     // re-encode: keep the decoder's picture size

    std::vector<std::string> m_inputPaths; // UTF-8 input path of each entry
    // UTF-8 output path of each entry: the planned name until the entry ends; once its status is final,
    // the name the output really got (numbered when the planned one was taken meanwhile, another extension
    // when the input's container cannot carry a rotation).
    std::vector<std::string> m_outputPaths;
    // Plain words per entry, final with its status: why it failed, or a note on a converted file.
    std::vector<std::string> m_entryReasons;
    // How each converted entry was written ("marked in place", or "remuxed: " and why not), final with its
    // status; for the verbose report.
    std::vector<std::string> m_entryMethods;
    std::vector<WriteMethod> m_entryWriteMethods; // final with the status, like m_entryMethods

    std::array<std::atomic<std::int8_t>, kStatusSlots> m_fileStatus;
    std::array<double, kMaxEntries> m_fileDuration{}; // seconds, as the list shows it
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
    std::atomic<bool> m_finished{false};         // set last, on every way out of the worker
    std::int32_t m_fileCount = 0;
    std::int32_t m_rotation = 0; // degrees clockwise: 0 (none), 90, 180 or 270
    // 0: m_rotation turns what players show now (a clip marked 90 turned 90 shows at 180); 1: m_rotation is
    // the rotation to set, and 0 then clears a mark.
    std::uint8_t m_absoluteRotation = 0;
    // With m_reencode: the way to rotate for players that honour no mark: the frames are turned, no mark is
    // written, and every other stream is copied as it is.
    std::uint8_t m_turnPictures = 0;
    // 1: each output is written beside its input and takes its place once complete and flushed (the
    // input's name, or another extension when its container changed, and then the input is removed).
    std::uint8_t m_replaceOriginals = 0;
    // 1: a Matroska or WebM input stays Matroska even where an MP4 would keep everything of it.
    std::uint8_t m_keepMatroska = 0;

    // Each entry's own turn, when the front end chose one per file; entries beyond it (or all, when it is
    // empty) take m_rotation and m_absoluteRotation.
    std::vector<Turn> m_entryTurns;

    // The turn of one entry: its own, else the batch's.
    Turn TurnOfEntry(int entry) const;

    // Each entry's own way when the front end chose one per file (1: turn the pictures, 0: mark); entries
    // beyond it take m_turnPictures.
    std::vector<std::uint8_t> m_entryTurnPictures;
    bool TurnsPicturesOf(int entry) const;

    // A list of n empty path entries, the form m_inputPaths and m_outputPaths take.
    static std::vector<std::string> AllocatePathList(int count);

    // Sizes the per-entry lists for count entries (paths empty) and sets every status to pending.
    void PrepareEntries(int count);

    std::int8_t StatusOf(int entry) const {
        return m_fileStatus[static_cast<std::size_t>(entry)].load(std::memory_order_acquire);
    }

    // The entry's status with its paths, reason and method, read after the status (acquire).
    EntryOutcome OutcomeOf(int entry) const;
};

// Runs a whole batch on the calling thread. Every entry ends converted, failed (with a reason) or, after a
// cancel, pending; the end of the batch (m_currentFile = m_fileCount, then m_finished) is published on every
// way out. Returns 0, or -1 when a condition that dooms every later entry (the output folder is gone) ended
// the batch early; the entries not reached are then failed too.
int ConvertThreadProc(CConvertJob* job);

} // namespace quarnix
