// The rotation of a Matroska or WebM file, written into the file in place: a Projection element
// (rectangular, ProjectionPoseRoll = minus the clockwise angle, since a positive roll turns
// counter-clockwise) in every video track's Video element, and a ROTATE tag on every video track.
// Only the header before the first cluster and the elements after the last cluster are rewritten; the
// clusters, which hold the media, stay where they are, byte for byte. The header keeps its size: the
// growth is taken from a Void element there (the room muxers reserve for such edits), so nothing the
// cue index points to moves.
#pragma once

#include "engine/Rotation.h"
#include "engine/inplace/matroska/Ebml.h"
#include "engine/inplace/matroska/MatroskaFault.h"
#include "engine/inplace/matroska/MatroskaStructure.h"
#include "engine/inplace/matroska/MatroskaTrackProjection.h"

#include <cstdint>
#include <string>
#include <vector>

namespace quarnix {

// The new header and tail of a file whose structure was checked, with a rotation in every video track
// (an angle of 0 is written as a flat Projection without roll and a ROTATE of 0, which clears an old mark).
struct MatroskaRewrite {
    bool possible = false;
    MatroskaFault fault = MatroskaFault::kNone; // why not; kNoRoom when the header has no Void large enough
    ebml::Bytes head;                           // exactly as long as the old head
    ebml::Bytes tail;
    std::uint64_t segmentSize = 0; // the new size of the segment's data (when known)
    int videoTracks = 0;           // video tracks that get the rotation
    std::vector<int> trackAngles;  // the clockwise angle each video track gets, in file order
};
MatroskaRewrite PlanMatroskaRotation(const MatroskaStructure& structure, const TrackAngleRule& rule);

// The plan for a turn: each video track's Projection roll turned by it (or, absolute, replaced).
MatroskaRewrite PlanMatroskaRotation(const MatroskaStructure& structure, const Turn& turn);

// Writes the planned header and tail into the file the structure was read from. 0 or an errno.
int WriteMatroskaRewrite(int fd, const MatroskaStructure& structure, const MatroskaRewrite& rewrite);

// Whether the video tracks of the checked file carry exactly the clockwise angles (one per video track, in
// file order), and nothing else: each its Projection roll and its one ROTATE tag.
bool HoldsMatroskaRotation(const MatroskaStructure& structure, const std::vector<int>& trackAngles);

// Sets the rotation of the closed Matroska or WebM file at the UTF-8 path in place: the clockwise angle of
// each video track, in file order. Returns 0, AVERROR(ENOSPC) when its header has no room for it,
// AVERROR_INVALIDDATA when its structure is not as expected or its video tracks are not as many as the
// angles (the file is then left as it was), or another negative AVERROR for an I/O error.
int SetMatroskaRotation(const std::string& utf8Path, const std::vector<int>& trackAngles);
// The same on a file open for reading and writing (the worker's output, never reopened by name).
int SetMatroskaRotationOf(int fd, const std::vector<int>& trackAngles);

} // namespace quarnix
