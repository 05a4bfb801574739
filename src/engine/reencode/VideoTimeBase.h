// The time base of a re-encoded video stream: one tick per picture, from the source's frame rate or the
// job's target rate, with repairs for rates that encoders cannot take as they are.
#pragma once

#include <cstdint> // before the FFmpeg headers, which need the C constant macros in C++

extern "C" {
#include <libavcodec/codec_id.h>
#include <libavutil/rational.h>
}

namespace quarnix {

// sourceRate: the frame rate the decoder was given for the stream; averageRate: the stream's average frame
// rate; targetFrameRate: the job's target, 0.0 = keep the source's; codecId: the video encoder's codec.
AVRational VideoEncoderTimeBase(AVRational sourceRate, AVRational averageRate, double targetFrameRate,
                                AVCodecID codecId);

} // namespace quarnix
