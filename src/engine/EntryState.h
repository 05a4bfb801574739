// What the worker opens for one batch entry: input and output contexts, one slot per input stream,
// and the flags that decide the entry's status and whether its output file is kept.
// Everything here is released when the entry's state goes out of scope.
#pragma once

#include "ConvertJob.h"
#include "FfmpegPtr.h"
#include "OutputFile.h"

#include <string>
#include <vector>

namespace quarnix {

// One input stream as the worker sees it.
struct StreamSlot {
    CodecContextPtr decoder;       // null when the stream is not decoded
    CodecContextPtr encoder;       // re-encode mode: encoder fed from this stream
    AudioFifoPtr audioFifo;        // re-encode mode, audio: encoder-format samples waiting to be encoded
    std::int64_t nextAudioPts = 0; // re-encode mode: samples sent to the encoder so far
    int outputIndex = -1; // stream-copy mode: output stream receiving this stream's packets; -1 = dropped
};

struct EntryState {
    int index = 0;
    std::string inputPath;
    std::string outputPath;

    FileIdentity inputIdentity; // as the input was when it was opened
    InputFormatPtr input;
    OutputFormatPtr output;
    std::vector<StreamSlot> slots;

    int inputVideoStream = -1; // last opened video stream in index order
    int inputAudioStream = -1; // first opened audio stream
    int outputVideoStream = -1;
    int outputAudioStream = -1;

    bool outputCreated = false; // the worker created the output file (exclusively)
    bool headerWritten = false;
    bool failed = false;           // the entry ends with status 2
    bool cancelled = false;        // the packet loop stopped on a cancel before the input's end
    bool outputIncomplete = false; // writing the output failed: the file is unusable and is removed
};

// How the per-entry set-up ended.
enum class SetUpOutcome {
    kReady,        // header written; run the packet loop
    kSkipEntry,    // status 2, go on with the next entry
    kHeaderFailed, // status 2, pause briefly, go on with the next entry
    kEndThread,    // status 2, the batch ends here
};

// Stream-copy mode: one output stream per usable audio and video input stream, each marked rotated.
// Returns 0 or a negative library error.
int CreateCopyStreams(const CConvertJob& job, EntryState& entry);

// Stream-copy mode: copies every kept packet with timestamps moved onto one common start.
void RunStreamCopyLoop(CConvertJob& job, EntryState& entry);

// Logs a failure of one entry to the media libraries' log.
void LogEntryFailure(const EntryState& entry, const char* step, int errorCode);

} // namespace quarnix
