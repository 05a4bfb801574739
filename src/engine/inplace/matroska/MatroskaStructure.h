// The element structure of a Matroska or WebM file, read with pread from a file descriptor: every
// level-1 element of its segment, and the bytes of the header before the first cluster and of the tail
// after the last one, which a rotation rewrites.
#pragma once

#include "engine/inplace/matroska/Ebml.h"
#include "engine/inplace/matroska/MatroskaFault.h"

#include <cstdint>
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
    MatroskaFault fault =
        MatroskaFault::kNone; // why the rotation cannot be written in place; kNone if eligible
    int readError = 0;        // errno of a failed read, 0 when the file was read
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

// The same check of a file whose header and tail were just rewritten in place, made without walking the
// clusters again: those were not written, so the elements from the first to the last cluster are taken
// from known, the check of the file before the rewrite. Everything else is read again from the file.
MatroskaStructure RecheckRewrittenMatroska(int fd, const MatroskaStructure& known);

} // namespace quarnix
