// Which input streams the probe and the worker decode or copy, and the shared decoder opening step.
// Cover pictures (PNG, or MJPEG beside other streams), DVD navigation, subtitle and data streams are passed
// over.
#pragma once

#include "FfmpegPtr.h"

namespace quarnix {

// Codec ids that are never decoded or copied: PNG pictures and DVD navigation packets.
bool IsIgnoredCodec(AVCodecID codecId);

// An MJPEG stream in a file with more than two streams is a still cover picture, not the video.
bool IsCoverPicture(const AVFormatContext& input, const AVStream& stream);

// The first three tests of the selection: codec id, media type (subtitle or data), cover picture.
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
