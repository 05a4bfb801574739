// A strict walker over the box structure of an ISO-BMFF / QuickTime file (MP4, MOV, M4V, 3GP), read with
// pread from a file descriptor. It finds where each video track keeps its display matrix, so that a
// rotation can be set by changing those bytes alone, and says in plain words when a file's structure is
// not clean enough for that.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quarnix {

// Size of the display matrix in a track header: nine big-endian 32-bit values.
inline constexpr std::size_t kTrackMatrixBytes = 36;

struct QuickTimeVideoTrack {
    std::uint64_t matrixOffset = 0; // file offset of the 36 matrix bytes in the track's tkhd
    std::uint32_t trackId = 0;
    std::uint32_t widthFixed = 0;  // tkhd width, 16.16 fixed point
    std::uint32_t heightFixed = 0; // tkhd height, 16.16 fixed point

    // The presentation size in whole pixels, rounded to nearest.
    int Width() const { return static_cast<int>((static_cast<std::uint64_t>(widthFixed) + 0x8000) >> 16); }
    int Height() const { return static_cast<int>((static_cast<std::uint64_t>(heightFixed) + 0x8000) >> 16); }
};

struct QuickTimeStructure {
    bool eligible = false;
    // Why the matrices cannot be set in place, in plain words ("the file is cut short"); empty when
    // eligible, or the reading error when the file could not be read.
    std::string reason;
    int readError = 0; // errno of a failed read, 0 when the file was read
    std::uint64_t fileSize = 0;
    std::vector<QuickTimeVideoTrack> videoTracks; // in file order; non-empty when eligible
};

// Walks the file's boxes: every top-level box (32-bit, 64-bit and to-the-end sizes), and inside the one
// `moov` every `trak` with its `tkhd` and its media handler (`mdia/hdlr`). The file is eligible when every
// walked box lies fully within its parent and the file, there is exactly one `moov`, it is not compressed
// (`cmov`), every track names its media handler, every video track has exactly one `tkhd`, and there is at
// least one video track. Fragments (`moof`) do not carry track headers; the `tkhd` in `moov` rules.
QuickTimeStructure CheckQuickTimeStructure(int fd);

} // namespace quarnix
