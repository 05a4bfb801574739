// "Turn the pictures": the way to rotate for players that honour no mark. The video's frames are decoded,
// turned (and mirrored) by a filter graph so that they stand as players would show them after the turn,
// and encoded again with a constant-quality rate control; no rotation mark is written, and every other
// stream, chapter and tag is copied as it is.
#pragma once

#include "engine/Rotation.h"
#include "engine/io/FfmpegPtr.h"

#include <memory>
#include <string>

extern "C" {
#include <libavfilter/avfilter.h>
}

namespace quarnix {

struct FilterGraphDeleter {
    void operator()(AVFilterGraph* graph) const { avfilter_graph_free(&graph); }
};
using FilterGraphPtr = std::unique_ptr<AVFilterGraph, FilterGraphDeleter>;

// The per-file state of the turned video stream.
struct PictureTurn {
    int inputStream = -1; // the video stream whose pictures are turned
    int outputStream = -1;
    CodecContextPtr decoder;
    CodecContextPtr encoder;
    FilterGraphPtr graph; // owns source and sink
    AVFilterContext* source = nullptr;
    AVFilterContext* sink = nullptr;
    FramePtr decoded;
    FramePtr turned;
};

// The filter chain that makes the pictures show as the transform shows them: the mirror first, then the
// clockwise turn ("hflip,transpose=clock"); "null" for the identity.
std::string TurnFilterChain(const DisplayTransform& transform);

// The constant-quality setting of the H.264 encoder (x264's CRF): close to the source at a fraction of a
// lossless file's size.
inline constexpr const char* kTurnedPictureQuality = "18";

} // namespace quarnix
