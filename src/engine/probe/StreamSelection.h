// Which input streams the probe and the worker decode, and the shared decoder opening step.
// Cover pictures (streams with the attached-picture disposition), DVD navigation, subtitle and data streams
// are never decoded.
#pragma once

#include "engine/io/FfmpegPtr.h"

namespace quarnix {

// Codec ids that are never decoded or copied: DVD navigation packets.
bool IsIgnoredCodec(AVCodecID codecId);

// A cover picture is a stream with the attached-picture disposition, whatever its codec: a still image that
// players show for the file, never its video.
bool IsCoverPicture(const AVStream& stream);

// The audio and video streams that carry the file's picture and sound: not a cover, not an ignored codec.
// These are the streams that are decoded in re-encode mode and that decide the file's facts.
bool PassesCopySelection(const AVFormatContext& input, const AVStream& stream);

// Outcome of OpenStreamDecoder.
struct DecoderOpenResult {
    int error = 0;           // 0, or the negative library error (AVERROR(ENOMEM) when allocation failed)
    bool noDecoder = false;  // the codec id has no decoder: the stream is passed over
    CodecContextPtr decoder; // opened for audio and video; filled but unopened for other media types
};

// Finds, allocates, fills and (for audio and video) opens the decoder of one input stream.
// Video decoders get the frame rate that the container suggests for the stream.
DecoderOpenResult OpenStreamDecoder(AVFormatContext& input, AVStream& stream);

} // namespace quarnix
