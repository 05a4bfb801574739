#include "engine/inplace/matroska/MatroskaStructure.h"

#include "engine/batch/FailureReason.h"
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

MatroskaStructure NotEligible(MatroskaStructure structure, std::string reason, int readError = 0) {
    structure.eligible = false;
    structure.reason = std::move(reason);
    structure.readError = readError;
    return structure;
}

} // namespace

MatroskaStructure CheckMatroskaStructure(int fd) {
    MatroskaStructure structure;
    struct stat info {};
    if (fstat(fd, &info) != 0) {
        return NotEligible(structure, "the file cannot be read", errno);
    }
    structure.fileSize = static_cast<std::uint64_t>(info.st_size);
    Bytes first(static_cast<std::size_t>(std::min<std::uint64_t>(structure.fileSize, kFirstRead)));
    if (int error = ReadExactlyAt(fd, 0, first.data(), first.size()); error > 0) {
        return NotEligible(structure, "the file cannot be read", error);
    }
    const std::optional<Element> header = ebml::ElementAt(first, 0);
    std::optional<std::vector<Element>> headerFields;
    if (header && header->id == ebml::kIdEbml) {
        headerFields = ebml::ChildrenOf(first, *header);
    }
    if (!headerFields) {
        return NotEligible(structure, "the file is not Matroska");
    }
    bool knownDocType = false;
    for (const Element& field : *headerFields) {
        if (field.id == ebml::kIdDocType) {
            const std::string_view docType = ebml::StringValue(first, field);
            knownDocType = docType == "matroska" || docType == "webm";
        }
    }
    if (!knownDocType) {
        return NotEligible(structure, "the file is not Matroska");
    }
    const std::optional<Element> segment = ebml::ElementAt(first, header->End());
    if (!segment || segment->id != ebml::kIdSegment) {
        return NotEligible(structure, "the Matroska structure is damaged");
    }
    structure.segmentSizeOffset = segment->start + 4;
    structure.segmentSizeLength = segment->SizeLength();
    structure.segmentUnknownSize = segment->unknownSize;
    structure.segmentData = segment->dataStart;
    const std::uint64_t segmentEnd =
        segment->unknownSize ? structure.fileSize : segment->dataStart + segment->size;
    if (segmentEnd > structure.fileSize) {
        return NotEligible(structure, kCutShortReason);
    }
    if (segmentEnd < structure.fileSize) {
        return NotEligible(structure, "the file holds more than one segment");
    }

    // Every level-1 element: only its header is read.
    std::uint64_t pos = structure.segmentData;
    bool seenCluster = false;
    while (pos < segmentEnd) {
        Bytes bytes(
            static_cast<std::size_t>(std::min<std::uint64_t>(ebml::kLongestHeader, segmentEnd - pos)));
        if (int error = ReadExactlyAt(fd, pos, bytes.data(), bytes.size()); error != 0) {
            return error > 0 ? NotEligible(structure, "the file cannot be read", error)
                             : NotEligible(structure, kCutShortReason);
        }
        const std::optional<Element> element = ebml::ElementAt(bytes, 0);
        if (!element) {
            return NotEligible(structure, "the Matroska structure is damaged");
        }
        if (element->unknownSize) {
            return NotEligible(structure, "an element of the file has no size (a live recording)");
        }
        const std::uint64_t end = pos + element->dataStart + element->size;
        if (end > segmentEnd) {
            return NotEligible(structure, kCutShortReason);
        }
        if (structure.elements.size() >= kMostElements) {
            return NotEligible(structure, "the Matroska structure is damaged");
        }
        if (element->id == ebml::kIdCluster) {
            structure.lastCluster = structure.elements.size();
            if (!seenCluster) {
                structure.firstCluster = structure.elements.size();
                seenCluster = true;
            }
        }
        structure.elements.push_back({element->id, pos, end - pos});
        pos = end;
    }
    if (!seenCluster) {
        return NotEligible(structure, "the file holds no media clusters");
    }

    int tracks = 0;
    int tags = 0;
    for (std::size_t i = 0; i < structure.elements.size(); ++i) {
        const std::uint32_t id = structure.elements[i].id;
        const bool between = i > structure.firstCluster && i < structure.lastCluster;
        if (id == ebml::kIdTracks) {
            if (i > structure.firstCluster) {
                return NotEligible(structure, "the file's track list is not in its header");
            }
            ++tracks;
        } else if (id == ebml::kIdTags) {
            if (between) {
                return NotEligible(structure, "the file's tags lie between its clusters");
            }
            ++tags;
        } else if (id == ebml::kIdSeekHead && between) {
            return NotEligible(structure, "the file has a seek head between its clusters");
        }
    }
    if (tracks != 1) {
        return NotEligible(structure, "the file does not have exactly one track list");
    }
    if (tags > 1) {
        return NotEligible(structure, "the file has more than one tag list");
    }
    const std::uint64_t headSize = structure.HeadEnd() - structure.segmentData;
    const std::uint64_t tailSize = structure.fileSize - structure.TailStart();
    if (headSize > kLargestRegion || tailSize > kLargestRegion) {
        return NotEligible(structure, "the Matroska header or index is unusually large");
    }
    structure.head.resize(static_cast<std::size_t>(headSize));
    structure.tail.resize(static_cast<std::size_t>(tailSize));
    for (auto [region, offset] : {std::pair{&structure.head, structure.segmentData},
                                  std::pair{&structure.tail, structure.TailStart()}}) {
        if (int error = ReadExactlyAt(fd, offset, region->data(), region->size()); error != 0) {
            return error > 0 ? NotEligible(structure, "the file cannot be read", error)
                             : NotEligible(structure, kCutShortReason);
        }
    }
    structure.eligible = true;
    return structure;
}

} // namespace quarnix
