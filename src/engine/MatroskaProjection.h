// The Matroska rotation: a Projection element (rectangular, ProjectionPoseRoll = minus the clockwise angle,
// since a positive roll turns counter-clockwise) in every video track's Video element. The FFmpeg 5.1
// muxer cannot write one for a flat picture, so it is added to the finished file, in place, in the space
// the muxer reserves for its seek head: only the short header region is rewritten, never the whole file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quarnix {

// The Projection element for a clockwise rotation of the picture, as EBML bytes.
std::vector<std::uint8_t> ProjectionElement(int clockwiseDegrees);

// Adds (or replaces) the Projection of every video track of the closed Matroska or WebM file at the UTF-8
// path. Returns 0, AVERROR(ENOSPC) when the file has no reserved space before its Tracks large enough
// (the file is then left as it was), AVERROR_INVALIDDATA when the file's header is not as expected, or
// another negative AVERROR for an I/O error. An angle of 0 leaves the file unchanged.
int AddMatroskaProjection(const std::string& utf8Path, int clockwiseDegrees);

} // namespace quarnix
