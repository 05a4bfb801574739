// The rotation of a Matroska or WebM file, written into the file in place: a Projection element
// (rectangular, ProjectionPoseRoll = minus the clockwise angle, since a positive roll turns
// counter-clockwise) in every video track's Video element, and a ROTATE tag on every video track.
// Only the header before the first cluster and the elements after the last cluster are rewritten; the
// clusters, which hold the media, stay where they are, byte for byte. The header keeps its size: the
// growth is taken from a Void element there (the room muxers reserve for such edits), so nothing the
// cue index points to moves.
#pragma once

#include "Ebml.h"

#include <cstdint>
#include <string>
#include <vector>

namespace quarnix {

// A level-1 element of the segment: id, file offset of its id, and its whole size (header and data).
struct MatroskaLevel1 {
    std::uint32_t id = 0;
    std::uint64_t start = 0;
    std::uint64_t total = 0;
    std::uint64_t End() const { return start + total; }
};

struct MatroskaStructure {
    bool eligible = false;
    // Why the rotation cannot be written in place, in plain words; empty when eligible. The reading
    // error's words when the file could not be read.
    std::string reason;
    int readError = 0; // errno of a failed read, 0 when the file was read
    std::uint64_t fileSize = 0;
    std::uint64_t segmentSizeOffset = 0; // where the segment's size field lies
    int segmentSizeLength = 0;
    bool segmentUnknownSize = false;
    std::uint64_t segmentData = 0;        // where the segment's data begins: seek positions count from here
    std::vector<MatroskaLevel1> elements; // every level-1 element, in file order
    std::size_t firstCluster = 0;         // index in elements
    std::size_t lastCluster = 0;
    ebml::Bytes head; // the bytes from segmentData to the first cluster
    ebml::Bytes tail; // the bytes from the end of the last cluster to the end of the file

    std::uint64_t HeadEnd() const { return elements[firstCluster].start; }
    std::uint64_t TailStart() const { return elements[lastCluster].End(); }
};

// Walks the file's EBML header and every level-1 element of its one segment (only the element headers
// of the clusters are read). Eligible when the document type is matroska or webm, every element has a
// known size and lies within the segment, the segment ends where the file ends, there is at least one
// cluster, one Tracks element before the first cluster, at most one Tags element outside the clusters'
// range and no seek head within it, and the header and tail regions are of reasonable size.
MatroskaStructure CheckMatroskaStructure(int fd);

// The new header and tail of a file whose structure was checked, with the rotation of the clockwise
// angle (0 removes every rotation mark).
struct MatroskaRewrite {
    bool possible = false;
    bool noRoom = false; // not possible because the header has no Void large enough
    std::string reason;  // why not, in plain words ("the Matroska header has no room for the rotation")
    ebml::Bytes head;    // exactly as long as the old head
    ebml::Bytes tail;
    std::uint64_t segmentSize = 0; // the new size of the segment's data (when known)
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

} // namespace quarnix
