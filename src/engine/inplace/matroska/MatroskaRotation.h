// The rotation of a Matroska or WebM file, written into the file in place: a Projection element
// (rectangular, ProjectionPoseRoll = minus the clockwise angle, since a positive roll turns
// counter-clockwise) in every video track's Video element, and a ROTATE tag on every video track.
// Only the header before the first cluster and the elements after the last cluster are rewritten; the
// clusters, which hold the media, stay where they are, byte for byte. The header keeps its size: the
// growth is taken from a Void element there (the room muxers reserve for such edits), so nothing the
// cue index points to moves.
#pragma once

#include "engine/inplace/matroska/Ebml.h"
#include "engine/inplace/matroska/MatroskaStructure.h"

#include <cstdint>
#include <string>
#include <vector>

namespace quarnix {

// The new header and tail of a file whose structure was checked, with the rotation of the clockwise
// angle (90, 180 or 270; an angle of 0 is never planned, as there is nothing to write).
struct MatroskaRewrite {
    bool possible = false;
    bool noRoom = false; // not possible because the header has no Void large enough
    std::string reason;  // why not, in plain words ("the Matroska header has no room for the rotation")
    ebml::Bytes head;    // exactly as long as the old head
    ebml::Bytes tail;
    std::uint64_t segmentSize = 0; // the new size of the segment's data (when known)
    int videoTracks = 0;           // video tracks that get the rotation
};
MatroskaRewrite PlanMatroskaRotation(const MatroskaStructure& structure, int clockwiseDegrees);

// Writes the planned header and tail into the file the structure was read from. 0 or an errno.
int WriteMatroskaRewrite(int fd, const MatroskaStructure& structure, const MatroskaRewrite& rewrite);

// Whether every video track of the checked file carries the rotation of the clockwise angle, and nothing
// else: its Projection and its ROTATE tag (neither for 0).
bool HoldsMatroskaRotation(const MatroskaStructure& structure, int clockwiseDegrees);

// The Projection element for a clockwise rotation of the picture, as EBML bytes.
ebml::Bytes ProjectionElement(int clockwiseDegrees);

// Sets the rotation of the closed Matroska or WebM file at the UTF-8 path in place. Returns 0,
// AVERROR(ENOSPC) when its header has no room for it, AVERROR_INVALIDDATA when its structure is not as
// expected (the file is then left as it was), or another negative AVERROR for an I/O error.
int SetMatroskaRotation(const std::string& utf8Path, int clockwiseDegrees);
// The same on a file open for reading and writing (the worker's output, never reopened by name).
int SetMatroskaRotationOf(int fd, int clockwiseDegrees);

} // namespace quarnix
