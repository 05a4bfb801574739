// A Matroska seek head rebuilt for a rewritten file: every SeekPosition mapped to where its element lies
// now, and entries added for new elements.
#pragma once

#include "engine/inplace/matroska/Ebml.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

namespace quarnix {

// Maps a seek position (relative to the segment's data) of the old file to the new one; nullopt when it
// points at no element the rewrite knows.
using SeekPositionMap = std::function<std::optional<std::uint64_t>(std::uint64_t)>;

// A seek entry for a new element: its id and position.
using AddedSeek = std::pair<std::uint32_t, std::uint64_t>;

// The seek head with every position mapped and the added entries at its end; its bytes unchanged when
// nothing changed, nullopt when it cannot be parsed or a position maps to nothing.
std::optional<ebml::Bytes> RebuildSeekHead(const ebml::Bytes& buffer, const ebml::Element& seekHead,
                                           const SeekPositionMap& map, const std::vector<AddedSeek>& added);

} // namespace quarnix
