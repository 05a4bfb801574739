// What the media module opens for one batch entry: input and output contexts, one slot per input stream.
// Everything here is released when the entry's state goes out of scope.
#pragma once

#include "engine/batch/ConvertJob.h"
#include "engine/batch/EntryRecord.h"
#include "engine/batch/FailureReason.h"
#include "engine/io/FfmpegPtr.h"
#include "engine/io/InputFile.h"
#include "engine/io/OutputFile.h"
#include "engine/io/OutputIo.h"
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

// The entry as the remux and the re-encode see it: the record and the media libraries' contexts. Members
// here are destroyed before the record's, so the contexts are gone before the temporary file is removed.
struct EntryState : EntryRecord {
    InputFile input;
    OutputIo outputIo; // writes the output context through outputFile's descriptor
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
};

// Stream-copy mode: one output stream per usable audio and video input stream, each marked rotated.
// Returns 0 or a negative library error.
int CreateCopyStreams(EntryState& entry);

// Stream-copy mode: copies every kept packet with timestamps moved onto one common start.
void RunStreamCopyLoop(CConvertJob& job, EntryState& entry);

// Reads the entry's next packet unless a cancel is pending. False ends the packet loop: at the end of the
// input, on a cancel (entry.cancelled) or on a read error (entry.failed: the output misses part of it).
bool ReadNextPacket(const CConvertJob& job, EntryState& entry, AVPacket& packet);

} // namespace quarnix
