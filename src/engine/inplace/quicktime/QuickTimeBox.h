// The box reader of an ISO-BMFF / QuickTime file (MP4, MOV, M4V, 3GP). The file's header region is read
// once: the top-level box headers, then the whole movie box (`moov`) into memory. Every walk over the movie
// (QuickTimeStructure.h, QuickTimeMovieFacts.h) reads those bytes, never the file again, and the same bytes
// tell later whether the file still is the one that was walked.
#pragma once

#include <cstdint>
#include <ctime>
#include <vector>

namespace quarnix {

// A box or brand type from its four characters, as the file stores it (big-endian): BoxType("moov").
constexpr std::uint32_t BoxType(const char (&name)[5]) {
    return (static_cast<std::uint32_t>(static_cast<unsigned char>(name[0])) << 24) |
           (static_cast<std::uint32_t>(static_cast<unsigned char>(name[1])) << 16) |
           (static_cast<std::uint32_t>(static_cast<unsigned char>(name[2])) << 8) |
           static_cast<std::uint32_t>(static_cast<unsigned char>(name[3]));
}

// The boxes the reader and its walks look at.
namespace box {
inline constexpr std::uint32_t kMoov = BoxType("moov");
inline constexpr std::uint32_t kMoof = BoxType("moof");
inline constexpr std::uint32_t kFtyp = BoxType("ftyp");
inline constexpr std::uint32_t kCmov = BoxType("cmov");
inline constexpr std::uint32_t kTrak = BoxType("trak");
inline constexpr std::uint32_t kTkhd = BoxType("tkhd");
inline constexpr std::uint32_t kMdia = BoxType("mdia");
inline constexpr std::uint32_t kHdlr = BoxType("hdlr");
inline constexpr std::uint32_t kVide = BoxType("vide");
inline constexpr std::uint32_t kMvhd = BoxType("mvhd");
inline constexpr std::uint32_t kMvex = BoxType("mvex");
inline constexpr std::uint32_t kTref = BoxType("tref");
inline constexpr std::uint32_t kChap = BoxType("chap");
inline constexpr std::uint32_t kEdts = BoxType("edts");
inline constexpr std::uint32_t kElst = BoxType("elst");
inline constexpr std::uint32_t kMinf = BoxType("minf");
inline constexpr std::uint32_t kStbl = BoxType("stbl");
inline constexpr std::uint32_t kStsd = BoxType("stsd");
inline constexpr std::uint32_t kStts = BoxType("stts");
inline constexpr std::uint32_t kCtts = BoxType("ctts");
inline constexpr std::uint32_t kStss = BoxType("stss");
inline constexpr std::uint32_t kStsc = BoxType("stsc");
inline constexpr std::uint32_t kStsz = BoxType("stsz");
inline constexpr std::uint32_t kStz2 = BoxType("stz2");
inline constexpr std::uint32_t kStco = BoxType("stco");
inline constexpr std::uint32_t kCo64 = BoxType("co64");
inline constexpr std::uint32_t kMdhd = BoxType("mdhd");
inline constexpr std::uint32_t kDinf = BoxType("dinf");
inline constexpr std::uint32_t kUdta = BoxType("udta");
} // namespace box

// What about a file's boxes keeps a walk from going on. The batch turns each into plain words
// (FailureReason.h); kNone when the walk went through.
enum class QuickTimeFault {
    kNone,
    kReadFailed,          // a read failed (the error is kept beside it)
    kNotRegularFile,      // the input is no regular file
    kCutShort,            // a box runs past the end of the file
    kDamagedFile,         // a top-level box header is impossible
    kTooManyBoxes,        // more boxes than any real file has
    kMoreThanOneMovie,    // two `moov` boxes
    kNoMovie,             // no `moov` box
    kMovieTooLarge,       // the `moov` box is larger than the reader takes into memory
    kDamagedMovie,        // a box inside the movie is impossible
    kCompressedMovie,     // `cmov`
    kTrackDescribedTwice, // two `mdia`, `hdlr` or `minf` in one track
    kTrackWithoutHandler, // a track names no media handler
    kHandlerDamaged,      // `hdlr` too short
    kNoVideoTrack,        // no track with a `vide` handler
    kVideoWithoutHeader,  // a video track without `tkhd`
    kVideoWithTwoHeaders, // a video track with two `tkhd`
    kVideoHeaderTooShort, // a video track's `tkhd` ends before its size fields
    kVideoHeaderVersion,  // a video track's `tkhd` of an unknown version
    kFileTypeDamaged,     // `ftyp` too short for its brand
    kTwoMovieHeaderBoxes, // two `mvhd`
    kNoMovieHeaderBox,    // no `mvhd`
    kMovieHeaderVersion,  // `mvhd` of an unknown version
    kTrackHeaderTooShort, // a `tkhd` too short for its version
    kTrackHeaderDamaged,  // a `tkhd` of an unknown version or without its track id
    kTooManyChapters,     // a `chap` reference list longer than any real file has
    kDamagedTable,        // a sample table's entries do not fit in it or are impossible
    kTableGivenTwice,     // a sample table (or `stbl`) given twice
    kNestedTooDeeply,     // boxes nested deeper than the demuxer descends
    kMisplacedTrackBoxes, // a `trak`, `tkhd`, `mdia` or `mdhd` outside its parent
    kTrackBoxCount,       // a track without exactly one `tkhd` and one `mdia`
    kMediaHeaderCount,    // a media box without exactly one `mdhd`
};

inline std::uint32_t Be32(const std::uint8_t* bytes) {
    return (static_cast<std::uint32_t>(bytes[0]) << 24) | (static_cast<std::uint32_t>(bytes[1]) << 16) |
           (static_cast<std::uint32_t>(bytes[2]) << 8) | static_cast<std::uint32_t>(bytes[3]);
}

inline std::uint64_t Be64(const std::uint8_t* bytes) {
    return (static_cast<std::uint64_t>(Be32(bytes)) << 32) | Be32(bytes + 4);
}

// A box at a file offset.
struct Box {
    std::uint32_t type = 0;
    std::uint64_t offset = 0;
    std::uint64_t header = 0; // bytes of the size and type fields
    std::uint64_t size = 0;   // whole box, header included

    std::uint64_t PayloadOffset() const { return offset + header; }
    std::uint64_t PayloadSize() const { return size - header; }
    std::uint64_t End() const { return offset + size; }
};

// The movie box is read into memory up to this size; a larger one (tens of hours of samples) is refused.
inline constexpr std::uint64_t kMaxMovieBytes = std::uint64_t{32} << 20;

// The header region of a file, read once: its size and modification time as read, its top-level boxes'
// verdict, and the bytes of its movie box and of the start of its first box.
struct QuickTimeHeader {
    QuickTimeFault fault = QuickTimeFault::kNone; // of the top-level walk; kNone when the movie was read
    int readError = 0;                            // errno of a failed read, 0 when the file was read
    std::uint64_t fileSize = 0;
    timespec modified{};
    Box firstBox;
    bool fragments = false; // a `moof` box at the top level
    Box movie;
    std::vector<std::uint8_t> movieBytes; // the whole movie box, header included
    std::vector<std::uint8_t> firstBytes; // up to 16 bytes of the first box's payload

    bool WasRead() const { return fault == QuickTimeFault::kNone; }
    // The bytes of [offset, offset + size) inside the movie box; nullptr when they lie outside it.
    const std::uint8_t* MovieAt(std::uint64_t offset, std::uint64_t size) const;
};

// Reads the file's header region: every top-level box header (32-bit, 64-bit and to-the-end sizes; each
// must lie within the file, there must be exactly one `moov`, at most kMaxMovieBytes), then the movie box.
// A file whose boxes sit near its start (a "fast start" one) takes a single read.
QuickTimeHeader ReadQuickTimeHeader(int fd);

// Whether two header regions, both read, have the same size, boxes and bytes (the modification time aside):
// a file copied from another holds its matrices at the same offsets exactly when this holds.
bool SameQuickTimeLayout(const QuickTimeHeader& a, const QuickTimeHeader& b);

// The common state of a walk over a movie box in memory: the first fault ends it.
class BoxWalk {
public:
    explicit BoxWalk(const QuickTimeHeader& header) : m_header(header) {}

    QuickTimeFault Fault() const { return m_fault; }

protected:
    bool Fail(QuickTimeFault fault) {
        m_fault = fault;
        return false;
    }
    // Counts one more box of a kind that may be given once; fails with the fault on the second.
    bool Once(int& count, QuickTimeFault fault) { return ++count == 1 || Fail(fault); }

    // The size bytes at offset inside the movie box, which the caller checked to lie within a walked box.
    const std::uint8_t* Bytes(std::uint64_t offset, std::uint64_t size) {
        const std::uint8_t* bytes = m_header.MovieAt(offset, size);
        if (bytes == nullptr) {
            Fail(QuickTimeFault::kDamagedMovie);
        }
        return bytes;
    }

    // Reads the box header at offset inside the movie, strictly: it must lie within the parent ending at
    // end, and no size of 0 (to the end) is taken there.
    bool NextBox(std::uint64_t offset, std::uint64_t end, Box& box);

    // Calls visit(box) for each box in the parent from the offset on, strictly; stops at the first false.
    template <typename Visit> bool ForEachChild(const Box& parent, std::uint64_t from, Visit&& visit) {
        for (std::uint64_t offset = from; offset < parent.End();) {
            Box box;
            if (!NextBox(offset, parent.End(), box) || !visit(box)) {
                return false;
            }
            offset = box.End();
        }
        return true;
    }

    // Reads a box header as the demuxer's generic reader takes it: a size of 0 runs to the end of the
    // parent. False, without a fault, when the box does not fit in the parent.
    bool LenientBox(std::uint64_t offset, std::uint64_t end, Box& box) const;

    const QuickTimeHeader& m_header;

private:
    QuickTimeFault m_fault = QuickTimeFault::kNone;
};

} // namespace quarnix
