// Re-encode mode of the worker: output streams with H.264/AAC (or the job's) encoders, the audio resampler
// and picture scaler, and the packet loop that decodes, converts and encodes every picture and sample.
// The worker calls the three entry points in order; the rest is shared by the loop's video and audio paths.
#pragma once

#include "engine/batch/EntryState.h"

namespace quarnix {

// Creates one output stream per input stream with a decoder; audio and video get encoders configured from
// the job's targets. A stream whose encoder cannot be found or allocated is passed over (the entry is marked
// failed and goes on). Returns 0, or a negative library error that ends the batch.
int CreateReencodeStreams(CConvertJob& job, EntryState& entry);

// After the header: the resampler (when the decoded audio differs from the encoder's format), the scaler
// (when the picture size or pixel format differs), the frames and the picture buffer. Returns 0 or a negative
// library error.
int SetUpReencodeConverters(const CConvertJob& job, EntryState& entry);

// Decodes, converts and encodes until the input ends or the batch is cancelled, then drains the decoders,
// the resampler, the sample queue and the encoders. Returns 0, or a negative library error after a failure
// that ends the batch (the entry is marked failed).
int RunReencodeLoop(CConvertJob& job, EntryState& entry);

// Whether decoded audio of this decoder must be converted for this encoder (rate, channels or format).
bool NeedsResampler(const AVCodecContext& decoder, const AVCodecContext& encoder);

// "Turn the pictures": output streams (the first video stream encoded from turned pictures, every other
// stream copied), and the loop that decodes, turns and encodes the pictures, copies every other packet and
// drains the decoder, the filters and the encoder at the end. Return 0 or a negative library error.
int CreateTurnedStreams(CConvertJob& job, EntryState& entry);
int RunTurnPicturesLoop(CConvertJob& job, EntryState& entry);

// --- shared by the set-up, the loop and its two paths ---

// Samples per encoded audio frame: the encoder's frame size, or a fixed chunk for encoders that take any
// size.
int AudioChunkSamples(const AVCodecContext& encoder);

// (Re)builds the scaler from pictures of the given geometry to the encoder's size and pixel format.
// Returns false (and leaves no scaler) when the libraries cannot convert between the two.
bool BuildScaler(EntryState& entry, const PictureFormat& source, const AVCodecContext& encoder);

// Numbers, scales if needed and encodes one decoded picture of the input video stream; writes what the
// encoder returns. Always returns 0: a picture that cannot be converted is left out.
int EncodeVideoFrame(CConvertJob& job, EntryState& entry, AVFrame& frame);

// Sends the end of stream to the video encoder and writes the pictures it still holds.
void FlushVideoEncoder(CConvertJob& job, EntryState& entry);

// Converts one decoded audio frame into the sample queue and encodes every full encoder frame it holds.
// Returns 0, or a negative library error that ends the batch.
int EncodeAudioFrame(CConvertJob& job, EntryState& entry, const AVFrame& frame);

// End of input: empties the resampler into the queue, encodes what is queued (the last short frame when the
// encoder accepts one) and drains the audio encoder. Returns 0 or a negative library error.
int FlushAudio(CConvertJob& job, EntryState& entry);

// Writes one encoded packet to the output (which takes it over); a failed write marks the output unusable.
// Returns false when the write failed.
bool WriteEncodedPacket(EntryState& entry, AVPacket& packet);

} // namespace quarnix
