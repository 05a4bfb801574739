#include "engine/inplace/matroska/MatroskaHeaderLayout.h"

#include "engine/inplace/matroska/MatroskaSeekHead.h"

#include <map>
#include <utility>

namespace quarnix {

using ebml::Bytes;
using ebml::Element;

namespace {

// Rebuilt seek heads that still change size after this many layouts do not settle.
constexpr int kMostLayoutRounds = 6;

// The level-1 elements from..to (indices in the structure) of a region (head or tail) as items.
std::optional<std::vector<MatroskaItem>> ItemsOf(const MatroskaStructure& structure, const Bytes& region,
                                                 std::uint64_t regionStart, std::size_t from,
                                                 std::size_t to) {
    std::vector<MatroskaItem> items;
    for (std::size_t i = from; i < to; ++i) {
        const MatroskaLevel1& level1 = structure.elements[i];
        std::optional<Element> element = ebml::ElementAt(region, level1.start - regionStart);
        if (!element || element->End() != level1.End() - regionStart) {
            return std::nullopt;
        }
        MatroskaItem item;
        item.id = level1.id;
        item.oldStart = level1.start;
        item.element = *element;
        item.bytes.assign(region.begin() + static_cast<std::ptrdiff_t>(element->start),
                          region.begin() + static_cast<std::ptrdiff_t>(element->End()));
        items.push_back(std::move(item));
    }
    return items;
}

// The Void that takes up the header's change in size, and where a new one goes when there is none.
struct HeaderSpare {
    std::optional<std::size_t> index;
    std::size_t fillerAt = 0;
};

// The last Void before the first changed item (as muxers reserve it), else the first one after; a new
// one would go after the last changed item.
HeaderSpare ChooseSpare(const std::vector<MatroskaItem>& head) {
    std::optional<std::size_t> firstChanged;
    std::optional<std::size_t> lastChanged;
    for (std::size_t i = 0; i < head.size(); ++i) {
        if (head[i].changed) {
            firstChanged = firstChanged.value_or(i);
            lastChanged = i;
        }
    }
    HeaderSpare spare;
    for (std::size_t i = 0; i < head.size(); ++i) {
        if (head[i].id == ebml::kIdVoid && (!spare.index || !firstChanged || i < *firstChanged)) {
            spare.index = i;
        }
    }
    spare.fillerAt = lastChanged.value_or(head.size() - 1) + 1;
    return spare;
}

enum class SpareFit {
    kFits,        // the header items are as long as the old header
    kNoRoom,      // they are longer, or one byte shorter (no Void is one byte long)
    kFillerAdded, // a new Void was added; the items are to be laid out again
};

// Sizes the spare Void so that the header items are exactly headSize bytes long.
SpareFit FitSpare(std::uint64_t headSize, std::vector<MatroskaItem>& head, HeaderSpare& spare) {
    std::uint64_t fixed = 0;
    for (std::size_t i = 0; i < head.size(); ++i) {
        fixed += spare.index && i == *spare.index ? 0 : head[i].bytes.size();
    }
    if (!spare.index && fixed == headSize) {
        return SpareFit::kFits;
    }
    if (fixed > headSize || headSize - fixed == 1) {
        return SpareFit::kNoRoom;
    }
    const auto room = static_cast<std::size_t>(headSize - fixed);
    if (spare.index) {
        head[*spare.index].bytes = ebml::VoidElement(room);
        return SpareFit::kFits;
    }
    // Smaller than before, and no Void: one takes the difference, after the last changed element.
    MatroskaItem filler;
    filler.id = ebml::kIdVoid;
    filler.bytes = ebml::VoidElement(room);
    head.insert(head.begin() + static_cast<std::ptrdiff_t>(spare.fillerAt), std::move(filler));
    spare.index = spare.fillerAt;
    return SpareFit::kFillerAdded;
}

// Where each old element of the header and the tail lies in the laid-out file (absolute offsets), and
// where a new Tags element does.
struct NewPositions {
    std::map<std::uint64_t, std::uint64_t> moved;
    std::uint64_t newTags = kNewElement;
};

NewPositions PositionsOf(const MatroskaStructure& structure, const MatroskaRegions& regions) {
    NewPositions positions;
    std::uint64_t at = structure.segmentData;
    for (const MatroskaItem& item : regions.head) {
        if (item.oldStart != kNewElement) {
            positions.moved[item.oldStart] = at;
        } else if (item.id == ebml::kIdTags) {
            positions.newTags = at;
        }
        at += item.bytes.size();
    }
    at = structure.TailStart();
    for (const MatroskaItem& item : regions.tail) {
        positions.moved[item.oldStart] = at;
        at += item.bytes.size();
    }
    return positions;
}

// The seek positions of the laid-out file: those of the clusters' range stay, the others follow their
// elements.
SeekPositionMap MapOf(const MatroskaStructure& structure, const NewPositions& positions) {
    return [&structure, &positions](std::uint64_t position) -> std::optional<std::uint64_t> {
        const std::uint64_t absolute = structure.segmentData + position;
        if (absolute >= structure.HeadEnd() && absolute < structure.TailStart()) {
            return position;
        }
        const auto found = positions.moved.find(absolute);
        return found == positions.moved.end()
                   ? std::nullopt
                   : std::optional<std::uint64_t>(found->second - structure.segmentData);
    };
}

// Rebuilds every old seek head with the new positions, the first one also pointing at a new Tags
// element. settled: no seek head changed its size.
MatroskaFault RebuildSeekHeads(const MatroskaStructure& structure, MatroskaRegions& regions,
                               const NewPositions& positions, bool& settled) {
    const SeekPositionMap map = MapOf(structure, positions);
    settled = true;
    bool firstSeekHead = true;
    for (auto [items, region] :
         {std::pair{&regions.head, &structure.head}, std::pair{&regions.tail, &structure.tail}}) {
        for (MatroskaItem& item : *items) {
            if (item.id != ebml::kIdSeekHead || item.oldStart == kNewElement) {
                continue;
            }
            std::vector<AddedSeek> added;
            if (firstSeekHead && positions.newTags != kNewElement) {
                added.emplace_back(ebml::kIdTags, positions.newTags - structure.segmentData);
            }
            firstSeekHead = false;
            std::optional<Bytes> rebuilt = RebuildSeekHead(*region, item.element, map, added);
            if (!rebuilt) {
                return MatroskaFault::kSeekHeadOutside;
            }
            item.changed = *rebuilt != item.bytes || item.changed;
            settled = settled && rebuilt->size() == item.bytes.size();
            item.bytes = std::move(*rebuilt);
        }
    }
    return MatroskaFault::kNone;
}

} // namespace

std::optional<MatroskaRegions> RegionsOf(const MatroskaStructure& structure) {
    std::optional<std::vector<MatroskaItem>> head =
        ItemsOf(structure, structure.head, structure.segmentData, 0, structure.firstCluster);
    std::optional<std::vector<MatroskaItem>> tail =
        ItemsOf(structure, structure.tail, structure.TailStart(), structure.lastCluster + 1,
                structure.elements.size());
    if (!head || !tail) {
        return std::nullopt;
    }
    return MatroskaRegions{std::move(*head), std::move(*tail)};
}

MatroskaFault LayOutRegions(const MatroskaStructure& structure, MatroskaRegions& regions) {
    HeaderSpare spare = ChooseSpare(regions.head);
    for (int round = 0; round < kMostLayoutRounds; ++round) {
        const SpareFit fit = FitSpare(structure.head.size(), regions.head, spare);
        if (fit == SpareFit::kNoRoom) {
            return MatroskaFault::kNoRoom;
        }
        if (fit == SpareFit::kFillerAdded) {
            continue;
        }
        bool settled = false;
        const MatroskaFault fault =
            RebuildSeekHeads(structure, regions, PositionsOf(structure, regions), settled);
        if (fault != MatroskaFault::kNone || settled) {
            return fault;
        }
    }
    return MatroskaFault::kSeekHeadUnsettled;
}

} // namespace quarnix
