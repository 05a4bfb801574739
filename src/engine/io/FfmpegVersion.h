// The one place that knows where the FFmpeg API moved between the library generations this program builds
// against (FFmpeg 5.1 on Debian 12, 6 and 7). Code asks these switches, never the version numbers.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/avutil.h>
}

// From libavcodec 60.30 (FFmpeg 6.1) stream side data lives in the codec parameters, which
// avcodec_parameters_copy copies; before, in AVStream::side_data.
#define QUARNIX_CODECPAR_SIDE_DATA (LIBAVCODEC_VERSION_INT >= AV_VERSION_INT(60, 30, 100))

// From libavcodec 61.13 (FFmpeg 7.1) an encoder's supported formats are queried instead of read from AVCodec.
#define QUARNIX_SUPPORTED_CONFIG (LIBAVCODEC_VERSION_INT >= AV_VERSION_INT(61, 13, 100))

// From libavutil 57.30 (FFmpeg 5.1) frames carry their duration.
#define QUARNIX_FRAME_DURATION (LIBAVUTIL_VERSION_INT >= AV_VERSION_INT(57, 30, 100))
