// The media probe: opens the file named by the job's m_probePath and copies the facts that the file
// list shows (frame rate, size, bit rates, audio format, duration, profile) into the job's probe fields.
#pragma once

#include "ConvertJob.h"

namespace quarnix {

// Probe results.
enum ProbeResult : int {
    kProbeAccepted = 0,
    kProbeNotOpenedOrNoVideo = -1,
    kProbeNoStreamInfo = -2,
};

// 0 when the file opened and has a video stream; -1 when it did not open or has no video stream; -2 when
// its stream information could not be read; AVERROR(ENOMEM), or the library error of a decoder that could
// not be set up, otherwise. Fields of a stream kind the file lacks keep their previous values.
int ProbeMediaFile(CConvertJob& job);

} // namespace quarnix
