// The track header box (`tkhd`), read in one place for every walk: version and flags; creation and
// modification times, track id, a reserved word and the duration (times and duration 32-bit in version 0,
// 64-bit in version 1); 8 reserved bytes; layer, alternate group, volume, 2 reserved bytes; the 36-byte
// display matrix; width and height (16.16 fixed point).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace quarnix {

// Size of the display matrix in a track header: nine big-endian 32-bit values.
inline constexpr std::size_t kTrackMatrixBytes = 36;

struct TrackHeader {
    enum class Read {
        kComplete,    // every field below was read
        kTrackIdOnly, // the box ends after the track id, before the matrix or the size
        kTooShort,    // the box holds not even its version and flags
        kUnknownVersion,
        kNoTrackId, // the box ends before the track id
    };
    Read read = Read::kTooShort;
    std::uint64_t matrixOffset = 0; // offset of the matrix from the start of the box's payload
    std::uint32_t trackId = 0;
    std::uint32_t widthFixed = 0;
    std::uint32_t heightFixed = 0;
    std::array<std::int32_t, 9> matrix{}; // in file order
};

// Reads the payload of a track header (size bytes).
TrackHeader ParseTrackHeader(const std::uint8_t* payload, std::uint64_t size);

} // namespace quarnix
