#include "engine/inplace/matroska/MatroskaStructure.h"

#include "engine/io/PositionedIo.h"

#include <algorithm>
#include <cerrno>
#include <optional>
#include <string_view>

#include <sys/stat.h>

namespace quarnix {

using ebml::Bytes;
using ebml::Element;

namespace {

// The header and the tail are read whole; beyond this (megabytes of fonts in the header, say) the file
// is remuxed instead, so memory stays bounded whatever the input.
constexpr std::uint64_t kLargestRegion = std::uint64_t{16} << 20;
// More level-1 elements than any real file has (a cluster holds seconds of media); damage beyond that.
constexpr std::size_t kMostElements = std::size_t{1} << 20;
constexpr std::size_t kFirstRead = 4096;

// Marks the structure as not eligible for the fault; returns false, so that a step can end with it.
bool Refuse(MatroskaStructure& structure, MatroskaFault fault, int readError = 0) {
    structure.eligible = false;
    structure.fault = fault;
    structure.readError = readError;
    return false;
}

// A read of bytes the structure says are there failed: an error of the disk, or a file that ended early.
bool RefuseRead(MatroskaStructure& structure, int error) {
    return error > 0 ? Refuse(structure, MatroskaFault::kReadFailed, error)
                     : Refuse(structure, MatroskaFault::kCutShort);
}

// The file's size and its first bytes, which hold the EBML header and the segment's header.
bool ReadFirstBytes(int fd, MatroskaStructure& structure, Bytes& first) {
    struct stat info {};
    if (fstat(fd, &info) != 0) {
        return Refuse(structure, MatroskaFault::kReadFailed, errno);
    }
    structure.fileSize = static_cast<std::uint64_t>(info.st_size);
    first.resize(static_cast<std::size_t>(std::min<std::uint64_t>(structure.fileSize, kFirstRead)));
    if (int error = ReadExactlyAt(fd, 0, first.data(), first.size()); error > 0) {
        return Refuse(structure, MatroskaFault::kReadFailed, error);
    }
    return true;
}

// Whether the EBML header names a Matroska or WebM document.
bool IsMatroskaHeader(const Bytes& first, const std::optional<Element>& header) {
    std::optional<std::vector<Element>> fields;
    if (header && header->id == ebml::kIdEbml) {
        fields = ebml::ChildrenOf(first, *header);
    }
    bool knownDocType = false;
    for (const Element& field : fields.value_or(std::vector<Element>{})) {
        if (field.id == ebml::kIdDocType) {
            const std::string_view docType = ebml::StringValue(first, field);
            knownDocType = docType == "matroska" || docType == "webm";
        }
    }
    return knownDocType;
}

// Where the one segment's size field and data lie, after the EBML header; its end in segmentEnd, which
// must be the file's end.
bool FindSegment(const Bytes& first, MatroskaStructure& structure, std::uint64_t& segmentEnd) {
    const std::optional<Element> header = ebml::ElementAt(first, 0);
    if (!IsMatroskaHeader(first, header)) {
        return Refuse(structure, MatroskaFault::kNotMatroska);
    }
    const std::optional<Element> segment = ebml::ElementAt(first, header->End());
    if (!segment || segment->id != ebml::kIdSegment) {
        return Refuse(structure, MatroskaFault::kDamaged);
    }
    structure.segmentSizeOffset = segment->start + 4;
    structure.segmentSizeLength = segment->SizeLength();
    structure.segmentUnknownSize = segment->unknownSize;
    structure.segmentData = segment->dataStart;
    segmentEnd = segment->unknownSize ? structure.fileSize : segment->dataStart + segment->size;
    if (segmentEnd > structure.fileSize) {
        return Refuse(structure, MatroskaFault::kCutShort);
    }
    if (segmentEnd < structure.fileSize) {
        return Refuse(structure, MatroskaFault::kMoreThanOneSegment);
    }
    return true;
}

bool ReadSegmentStart(int fd, MatroskaStructure& structure, std::uint64_t& segmentEnd) {
    Bytes first;
    return ReadFirstBytes(fd, structure, first) && FindSegment(first, structure, segmentEnd);
}

// Lists the segment's level-1 elements, reading only their headers, and notes where the clusters are.
class LevelOneWalk {
public:
    LevelOneWalk(int fd, MatroskaStructure& structure, std::uint64_t segmentEnd)
        : m_fd(fd), m_structure(structure), m_segmentEnd(segmentEnd) {}

    // Lists the elements from `from` on that begin before `until`; false (the fault set) when one cannot
    // be taken. The walk then stands at End(), the end of the last one.
    bool Walk(std::uint64_t from, std::uint64_t until) {
        m_pos = from;
        while (m_pos < until) {
            std::optional<MatroskaLevel1> element = ReadElementAt(m_pos);
            if (!element) {
                return false;
            }
            Add(*element);
            m_pos = element->End();
        }
        return true;
    }

    void Add(const MatroskaLevel1& element) {
        if (element.id == ebml::kIdCluster) {
            m_structure.lastCluster = m_structure.elements.size();
            if (!m_seenCluster) {
                m_structure.firstCluster = m_structure.elements.size();
                m_seenCluster = true;
            }
        }
        m_structure.elements.push_back(element);
    }

    std::uint64_t End() const { return m_pos; }
    bool SeenCluster() const { return m_seenCluster; }

private:
    // The element whose header lies at pos, when it has a known size within the segment.
    std::optional<MatroskaLevel1> ReadElementAt(std::uint64_t pos) {
        Bytes bytes(
            static_cast<std::size_t>(std::min<std::uint64_t>(ebml::kLongestHeader, m_segmentEnd - pos)));
        if (int error = ReadExactlyAt(m_fd, pos, bytes.data(), bytes.size()); error != 0) {
            RefuseRead(m_structure, error);
            return std::nullopt;
        }
        const std::optional<Element> element = ebml::ElementAt(bytes, 0);
        if (!element) {
            return Refused(MatroskaFault::kDamaged);
        }
        if (element->unknownSize) {
            return Refused(MatroskaFault::kUnknownSize);
        }
        const std::uint64_t end = pos + element->dataStart + element->size;
        if (end > m_segmentEnd) {
            return Refused(MatroskaFault::kCutShort);
        }
        if (m_structure.elements.size() >= kMostElements) {
            return Refused(MatroskaFault::kDamaged);
        }
        return MatroskaLevel1{element->id, pos, end - pos};
    }

    std::optional<MatroskaLevel1> Refused(MatroskaFault fault) {
        Refuse(m_structure, fault);
        return std::nullopt;
    }

    int m_fd;
    MatroskaStructure& m_structure;
    std::uint64_t m_segmentEnd;
    std::uint64_t m_pos = 0;
    bool m_seenCluster = false;
};

// What about the places of the Tracks, Tags and seek heads keeps the header rewrite from working.
MatroskaFault PlaceFault(const MatroskaStructure& structure) {
    int tracks = 0;
    int tags = 0;
    for (std::size_t i = 0; i < structure.elements.size(); ++i) {
        const std::uint32_t id = structure.elements[i].id;
        const bool between = i > structure.firstCluster && i < structure.lastCluster;
        if (id == ebml::kIdTracks) {
            if (i > structure.firstCluster) {
                return MatroskaFault::kTracksOutsideHeader;
            }
            ++tracks;
        } else if (id == ebml::kIdTags) {
            if (between) {
                return MatroskaFault::kTagsBetweenClusters;
            }
            ++tags;
        } else if (id == ebml::kIdSeekHead && between) {
            return MatroskaFault::kSeekHeadBetweenClusters;
        }
    }
    if (tracks != 1) {
        return MatroskaFault::kTrackListCount;
    }
    return tags > 1 ? MatroskaFault::kMoreThanOneTagList : MatroskaFault::kNone;
}

// Reads the header (before the first cluster) and the tail (after the last one) whole.
bool ReadRegions(int fd, MatroskaStructure& structure) {
    const std::uint64_t headSize = structure.HeadEnd() - structure.segmentData;
    const std::uint64_t tailSize = structure.fileSize - structure.TailStart();
    if (headSize > kLargestRegion || tailSize > kLargestRegion) {
        return Refuse(structure, MatroskaFault::kRegionTooLarge);
    }
    structure.head.resize(static_cast<std::size_t>(headSize));
    structure.tail.resize(static_cast<std::size_t>(tailSize));
    for (auto [region, offset] : {std::pair{&structure.head, structure.segmentData},
                                  std::pair{&structure.tail, structure.TailStart()}}) {
        if (int error = ReadExactlyAt(fd, offset, region->data(), region->size()); error != 0) {
            return RefuseRead(structure, error);
        }
    }
    return true;
}

// The checks once every level-1 element is listed; eligible when they pass.
void FinishCheck(int fd, MatroskaStructure& structure, bool seenCluster) {
    if (!seenCluster) {
        Refuse(structure, MatroskaFault::kNoClusters);
    } else if (const MatroskaFault fault = PlaceFault(structure); fault != MatroskaFault::kNone) {
        Refuse(structure, fault);
    } else {
        structure.eligible = ReadRegions(fd, structure);
    }
}

} // namespace

MatroskaStructure CheckMatroskaStructure(int fd) {
    MatroskaStructure structure;
    std::uint64_t segmentEnd = 0;
    if (!ReadSegmentStart(fd, structure, segmentEnd)) {
        return structure;
    }
    LevelOneWalk walk(fd, structure, segmentEnd);
    if (walk.Walk(structure.segmentData, segmentEnd)) {
        FinishCheck(fd, structure, walk.SeenCluster());
    }
    return structure;
}

MatroskaStructure RecheckRewrittenMatroska(int fd, const MatroskaStructure& known) {
    MatroskaStructure structure;
    std::uint64_t segmentEnd = 0;
    if (!known.eligible) {
        return CheckMatroskaStructure(fd);
    }
    if (!ReadSegmentStart(fd, structure, segmentEnd)) {
        return structure;
    }
    // The clusters' elements can be taken over only when the segment still holds them where they were
    // and the new header's elements end where the first cluster begins; else the whole segment is walked.
    if (structure.segmentData != known.segmentData || known.TailStart() > segmentEnd) {
        return CheckMatroskaStructure(fd);
    }
    LevelOneWalk walk(fd, structure, segmentEnd);
    if (!walk.Walk(structure.segmentData, known.HeadEnd())) {
        return structure;
    }
    if (walk.End() != known.HeadEnd()) {
        return CheckMatroskaStructure(fd);
    }
    for (std::size_t i = known.firstCluster; i <= known.lastCluster; ++i) {
        walk.Add(known.elements[i]);
    }
    if (walk.Walk(known.TailStart(), segmentEnd)) {
        FinishCheck(fd, structure, walk.SeenCluster());
    }
    return structure;
}

} // namespace quarnix
