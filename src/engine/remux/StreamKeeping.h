// What a stream-copy output keeps of its input: which streams the muxer takes (found by writing trial
// headers into a sink), and each kept stream's codec parameters, codec tag, metadata, dispositions, side
// data, aspect ratio and frame rate, and the chapters.
#pragma once

#include "engine/Rotation.h"

#include <cstdint>
#include <vector>

struct AVFormatContext;
struct AVOutputFormat;
struct AVStream;

namespace quarnix {

// How one input stream goes into the output.
enum class KeptAs {
    kLeftOut,         // not copied (DVD navigation, or refused by the muxer)
    kStream,          // copied as a stream of its own kind (a cover stays an attached picture)
    kCoverAttachment, // a cover picture written as a Matroska attachment, as Matroska carries covers
};

// Decides for every input stream of the input how it goes into a file of the given muxer. Audio and video
// streams are always planned; a subtitle, data, attachment or cover stream that the muxer refuses is left
// out with a line in the log. turn is what the video streams' transforms get.
std::vector<KeptAs> PlanKeptStreams(const AVFormatContext& input, const AVOutputFormat& muxer,
                                    const Turn& turn);

// Adds to output a copy of inStream as planned (how != kLeftOut); a video stream that is not a cover gets
// its own display transform with the turn applied. Returns the new stream, or null when memory ran out.
AVStream* AddKeptStream(AVFormatContext& output, const AVStream& inStream, KeptAs how, const Turn& turn);

// Copies the input's chapters, moved earlier by shiftMicroseconds (the common start removed from the
// streams). Returns 0 or a negative library error.
int CopyChapters(const AVFormatContext& input, AVFormatContext& output, std::int64_t shiftMicroseconds);

} // namespace quarnix
