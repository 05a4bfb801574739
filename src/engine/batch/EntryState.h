// What the worker opens for one batch entry: input and output contexts, one slot per input stream,
// and the flags that decide the entry's status and whether its output file is kept.
// Everything here is released when the entry's state goes out of scope.
#pragma once

#include "engine/batch/ConvertJob.h"
#include "engine/batch/FailureReason.h"
#include "engine/io/FfmpegPtr.h"
#include "engine/io/InputFile.h"
#include "engine/io/OutputFile.h"
#include "engine/reencode/PictureTurn.h"

#include <cstdint>
#include <string>
#include <vector>

namespace quarnix {

// Sample layout of decoded or encoder-ready audio.
struct AudioFormat {
    int sampleFormat = -1; // AVSampleFormat
    int sampleRate = 0;
    int channels = 0;
    bool operator==(const AudioFormat&) const = default;
};

// Size and pixel format of a picture.
struct PictureFormat {
    int width = 0;
    int height = 0;
    int pixelFormat = -1; // AVPixelFormat
    bool operator==(const PictureFormat&) const = default;
};

// One input stream as the worker sees it.
struct StreamSlot {
    CodecContextPtr decoder;       // null when the stream is not decoded
    CodecContextPtr encoder;       // re-encode mode: encoder fed from this stream
    AudioFifoPtr audioFifo;        // re-encode mode, audio: encoder-format samples waiting to be encoded
    std::int64_t nextAudioPts = 0; // re-encode mode: samples sent to the encoder so far
    int outputIndex = -1;          // output stream receiving this stream's packets or encoded data; -1 = none
};

struct EntryState {
    int index = 0;
    Turn turn;                 // what this entry's video gets (CConvertJob::TurnOfEntry)
    bool turnPictures = false; // the frames are turned by a re-encode instead of marked (TurnsPicturesOf)
    bool reencode = false;     // the entry is decoded and encoded: turnPictures, or the job's re-encode mode
    bool replaceOriginal = false; // the output takes the input's place (CConvertJob::m_replaceOriginals)
    std::string inputPath;
    std::string outputPath; // the final name the output is meant to get
    std::string reason;     // plain words: why the entry failed (the first cause found)
    std::string method;     // how a converted entry was written: "marked in place" or "remuxed: why"
    WriteMethod writeMethod = WriteMethod::kRemuxed;
    std::string note; // plain words on a converted entry ("written as MOV: AVI cannot carry a rotation")
    mutable int lastError = 0; // the last library error logged for this entry

    FileIdentity inputIdentity; // as the input was when it was opened
    InputFile input;
    CreatedOutput outputFile; // the temporary file; outlives the output context that writes into it
    OutputFormatPtr output;
    std::vector<StreamSlot> slots;

    int inputVideoStream = -1; // last opened video stream in index order
    int inputAudioStream = -1; // first opened audio stream
    int outputVideoStream = -1;
    int outputAudioStream = -1;

    // Re-encode mode: converters, frames and counters of the current file.
    ResamplerPtr resampler;     // null when the decoded audio already has the encoder's format
    AudioFormat resamplerInput; // the sample layout the resampler was built for
    ScalerPtr scaler;           // null until a picture needs another size or pixel format
    PictureFormat scalerInput;  // the picture geometry the scaler was built for
    FramePtr decodedFrame;      // what the decoders fill
    FramePtr scaledFrame;       // planes over pictureBuffer, in the encoder's size and format
    AvMemoryPtr<std::uint8_t> pictureBuffer;
    AvMemoryPtr<std::uint8_t> resampledSamples; // one block for all planes of one resampled chunk
    std::vector<std::uint8_t*> resampledPlanes; // plane pointers into resampledSamples
    int resampledCapacity = 0;                  // samples per plane that resampledSamples holds
    std::int64_t videoFrameCounter = 0;         // presentation time of the next picture, in frames
    std::int32_t videoPacketCounter = 0;        // last good decoding timestamp of the encoded video
    std::int64_t videoPacketsWritten = 0;
    bool audioFormatWarned = false; // unconvertible audio has been reported for this file
    PictureTurn pictureTurn; // "turn the pictures": the turned video stream's decoder, filters, encoder

    bool awaitingCommit = false; // complete: to be flushed, named and published by the committer
    bool inputCutShort = false;  // the input's end is missing: the output holds what is there
    bool headerWritten = false;
    bool failed = false;           // the entry ends with status 2
    bool cancelled = false;        // the packet loop stopped on a cancel before the input's end
    bool outputIncomplete = false; // writing the output failed: the file is unusable
};

// Stream-copy mode: one output stream per usable audio and video input stream, each marked rotated.
// Returns 0 or a negative library error.
int CreateCopyStreams(EntryState& entry);

// Stream-copy mode: copies every kept packet with timestamps moved onto one common start.
void RunStreamCopyLoop(CConvertJob& job, EntryState& entry);

// Reads the entry's next packet unless a cancel is pending. False ends the packet loop: at the end of the
// input, on a cancel (entry.cancelled) or on a read error (entry.failed: the output misses part of it).
bool ReadNextPacket(const CConvertJob& job, EntryState& entry, AVPacket& packet);

// Logs a failure of one entry to the media libraries' log.
void LogEntryFailure(const EntryState& entry, const char* step, int errorCode);

// Logs the failure and fails the entry; the first failure's plain reason is the one the user sees.
void FailEntry(EntryState& entry, FailedStep step, const char* what, int errorCode);

} // namespace quarnix
