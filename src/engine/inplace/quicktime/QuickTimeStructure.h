// The strict structure walk: where each video track of a QuickTime-family file keeps its display matrix,
// so that a rotation can be set by changing those bytes alone, and what keeps a file from that.
#pragma once

#include "engine/inplace/quicktime/QuickTimeBox.h"
#include "engine/inplace/quicktime/QuickTimeTrackHeader.h"

#include <array>
#include <cstdint>
#include <vector>

namespace quarnix {

struct QuickTimeVideoTrack {
    std::uint64_t matrixOffset = 0; // file offset of the 36 matrix bytes in the track's tkhd
    std::uint32_t trackId = 0;
    std::uint32_t widthFixed = 0;         // tkhd width, 16.16 fixed point
    std::uint32_t heightFixed = 0;        // tkhd height, 16.16 fixed point
    std::array<std::int32_t, 9> matrix{}; // the display matrix the track has now, in file order

    // The presentation size in whole pixels, rounded to nearest.
    int Width() const { return static_cast<int>((static_cast<std::uint64_t>(widthFixed) + 0x8000) >> 16); }
    int Height() const { return static_cast<int>((static_cast<std::uint64_t>(heightFixed) + 0x8000) >> 16); }
};

struct QuickTimeStructure {
    bool eligible = false;
    QuickTimeFault fault =
        QuickTimeFault::kNone; // why the matrices cannot be set in place; kNone if eligible
    int readError = 0;         // errno of a failed read, 0 when the file was read
    std::uint64_t fileSize = 0;
    std::vector<QuickTimeVideoTrack> videoTracks; // in file order; non-empty when eligible
};

// Walks the header region read by ReadQuickTimeHeader: inside the one `moov` every `trak` with its `tkhd`
// and its media handler (`mdia/hdlr`). The file is eligible when the header region was read, every walked
// box lies fully within its parent, the movie is not compressed (`cmov`), every track names its media
// handler, every video track has exactly one `tkhd`, and there is at least one video track. Fragments
// (`moof`) do not carry track headers; the `tkhd` in `moov` rules.
QuickTimeStructure CheckQuickTimeStructure(const QuickTimeHeader& header);

// The same for the file behind fd, whose header region is read for it.
QuickTimeStructure CheckQuickTimeStructure(int fd);

// The handler type of a media box (mdia/hdlr), as every walk reads it.
class HandlerWalk : public BoxWalk {
public:
    using BoxWalk::BoxWalk;

protected:
    bool ReadHandler(const Box& mdia, std::uint32_t& handler);
};

} // namespace quarnix
