// The level-1 elements of a Matroska file's header and tail as the rotation rewrites them, and their
// layout: the header keeps its size (a Void takes up the change), and the seek heads point where the
// elements lie afterwards.
#pragma once

#include "engine/inplace/matroska/Ebml.h"
#include "engine/inplace/matroska/MatroskaFault.h"
#include "engine/inplace/matroska/MatroskaStructure.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace quarnix {

inline constexpr std::uint64_t kNewElement = UINT64_MAX;

// One level-1 element of the rewritten header or tail.
struct MatroskaItem {
    std::uint32_t id = 0;
    std::uint64_t oldStart = kNewElement; // absolute offset in the old file; kNewElement for a new one
    ebml::Element element;                // where it lies in the region buffer (old elements)
    ebml::Bytes bytes;                    // its new bytes
    bool changed = false;
};

// The items of the header (before the first cluster) and of the tail (after the last one).
struct MatroskaRegions {
    std::vector<MatroskaItem> head;
    std::vector<MatroskaItem> tail;
};

// The level-1 elements of the checked file's header and tail as items holding their own bytes; nullopt
// when one does not lie where the check found it.
std::optional<MatroskaRegions> RegionsOf(const MatroskaStructure& structure);

// Gives the header items exactly the old header's size by sizing a Void (the last one before the first
// changed item, else the first after; a new one after the last changed item when the header shrank and
// has none), and rebuilds the seek heads with the new positions until their sizes settle. kNone when the
// items are laid out; kNoRoom when the header cannot keep its size.
MatroskaFault LayOutRegions(const MatroskaStructure& structure, MatroskaRegions& regions);

} // namespace quarnix
