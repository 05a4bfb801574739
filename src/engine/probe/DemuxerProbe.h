// The probe by the demuxer, in the media module: every fact the file list shows, or, for a batch, whether
// the file is a video and its duration, for the files whose boxes do not already tell (ProbeMedia).
#pragma once

#include "engine/probe/MediaProbe.h"

#include <atomic>
#include <cstdint>
#include <string>

namespace quarnix {

MediaFacts ProbeWithDemuxer(const std::string& utf8Path, const std::atomic<std::uint8_t>* cancel,
                            ProbeDepth depth);

// At information level (--verbose) the demuxer's stream descriptions of the file, in the library log.
void DescribeStreams(const std::string& utf8Path, const std::atomic<std::uint8_t>* cancel);

} // namespace quarnix
