// A strict walker over the box structure of an ISO-BMFF / QuickTime file (MP4, MOV, M4V, 3GP), read with
// pread from a file descriptor. It finds where each video track keeps its display matrix, so that a
// rotation can be set by changing those bytes alone, and says in plain words when a file's structure is
// not clean enough for that.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace quarnix {

// A box or brand type from its four characters, as the file stores it (big-endian): BoxType("moov").
constexpr std::uint32_t BoxType(const char (&name)[5]) {
    return (static_cast<std::uint32_t>(static_cast<unsigned char>(name[0])) << 24) |
           (static_cast<std::uint32_t>(static_cast<unsigned char>(name[1])) << 16) |
           (static_cast<std::uint32_t>(static_cast<unsigned char>(name[2])) << 8) |
           static_cast<std::uint32_t>(static_cast<unsigned char>(name[3]));
}

// Size of the display matrix in a track header: nine big-endian 32-bit values.
inline constexpr std::size_t kTrackMatrixBytes = 36;

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
    // Why the matrices cannot be set in place, in plain words ("the file is cut short"); empty when
    // eligible, or the reading error when the file could not be read.
    std::string reason;
    int readError = 0; // errno of a failed read, 0 when the file was read
    std::uint64_t fileSize = 0;
    std::vector<QuickTimeVideoTrack> videoTracks; // in file order; non-empty when eligible
};

// What a track's media box says about its samples, read from `mdia` (its handler) and `minf/stbl` (its
// sample tables).
struct QuickTimeTrackMedia {
    std::uint32_t handler = 0;         // the media handler type: 'vide', 'soun', 'text', 'tmcd'...
    std::uint32_t sampleEntryType = 0; // the type of the first sample description: 'avc1', 'mp4a'...
    std::uint32_t sampleEntries = 0;   // how many sample descriptions stsd lists
    int storedWidth = 0;               // a video sample description's picture size; 0 for other media
    int storedHeight = 0;
    std::uint64_t sampleCount = 0;          // stsz or stz2
    std::uint64_t chunkCount = 0;           // stco or co64
    std::uint32_t timeToSampleEntries = 0;  // stts
    std::uint32_t sampleToChunkEntries = 0; // stsc
    bool chapterPictures = false;           // another track names this one as its chapter track ('chap')
};

// What the movie header and the tracks' sample tables say, read without a demuxer: enough to tell whether
// a file is a video and how long it lasts. `complete` only when all of it was read and every table lies
// within its box; otherwise `reason` says what was not clear.
struct QuickTimeMovieFacts {
    bool complete = false;
    std::string reason;
    std::uint32_t firstBoxType = 0;          // the type of the file's first box ('ftyp', 'moov', 'mdat'...)
    std::uint32_t majorBrand = 0;            // the ftyp major brand when the first box is 'ftyp'
    bool fragmented = false;                 // the movie extends into fragments (mvex in moov, or moof boxes)
    std::uint32_t timescale = 0;             // mvhd: units per second
    std::uint64_t duration = 0;              // mvhd: the movie's duration in those units
    std::vector<QuickTimeTrackMedia> tracks; // every track, in file order
};

// Walks the file's boxes: every top-level box (32-bit, 64-bit and to-the-end sizes), and inside the one
// `moov` every `trak` with its `tkhd` and its media handler (`mdia/hdlr`). The file is eligible when every
// walked box lies fully within its parent and the file, there is exactly one `moov`, it is not compressed
// (`cmov`), every track names its media handler, every video track has exactly one `tkhd`, and there is at
// least one video track. Fragments (`moof`) do not carry track headers; the `tkhd` in `moov` rules.
QuickTimeStructure CheckQuickTimeStructure(int fd);

// Reads the movie facts of a file whose structure is eligible (as CheckQuickTimeStructure): the file type,
// the movie header (versions 0 and 1), whether the movie is fragmented and, for every track, its handler,
// first sample description and the entry counts of its sample tables and edit list, each checked to lie
// within its box. Reads only the movie's boxes, never the media data. Not complete when the structure is
// not eligible or anything read is damaged, missing or given twice.
QuickTimeMovieFacts ReadQuickTimeMovieFacts(int fd);

} // namespace quarnix
