#include "engine/inplace/quicktime/QuickTimeBoxes.h"

#include "engine/batch/FailureReason.h"
#include "engine/io/PositionedIo.h"

#include <algorithm>
#include <cerrno>
#include <sys/stat.h>

namespace quarnix {

namespace {

constexpr std::uint32_t kMoov = BoxType("moov");
constexpr std::uint32_t kCmov = BoxType("cmov");
constexpr std::uint32_t kTrak = BoxType("trak");
constexpr std::uint32_t kTkhd = BoxType("tkhd");
constexpr std::uint32_t kMdia = BoxType("mdia");
constexpr std::uint32_t kHdlr = BoxType("hdlr");
constexpr std::uint32_t kVide = BoxType("vide");
constexpr std::uint32_t kFtyp = BoxType("ftyp");
constexpr std::uint32_t kMoof = BoxType("moof");
constexpr std::uint32_t kMvhd = BoxType("mvhd");
constexpr std::uint32_t kMvex = BoxType("mvex");
constexpr std::uint32_t kTref = BoxType("tref");
constexpr std::uint32_t kChap = BoxType("chap");
constexpr std::uint32_t kEdts = BoxType("edts");
constexpr std::uint32_t kElst = BoxType("elst");
constexpr std::uint32_t kMinf = BoxType("minf");
constexpr std::uint32_t kStbl = BoxType("stbl");
constexpr std::uint32_t kStsd = BoxType("stsd");
constexpr std::uint32_t kStts = BoxType("stts");
constexpr std::uint32_t kCtts = BoxType("ctts");
constexpr std::uint32_t kStss = BoxType("stss");
constexpr std::uint32_t kStsc = BoxType("stsc");
constexpr std::uint32_t kStsz = BoxType("stsz");
constexpr std::uint32_t kStz2 = BoxType("stz2");
constexpr std::uint32_t kStco = BoxType("stco");
constexpr std::uint32_t kCo64 = BoxType("co64");
constexpr std::uint32_t kMdhd = BoxType("mdhd");
constexpr std::uint32_t kDinf = BoxType("dinf");
constexpr std::uint32_t kUdta = BoxType("udta");

// The demuxer reads these boxes as lists of boxes with one generic reader, which refuses a file whose
// boxes it would descend into lie deeper than this (top-level boxes are at level 1).
constexpr int kMaxDescendedLevel = 10;
// Bounds the boxes looked at for their nesting, as kMaxTopLevelBoxes bounds the top level.
constexpr std::uint64_t kMaxNestedBoxes = std::uint64_t{1} << 22;

bool IsDescendedContainer(std::uint32_t type) {
    return type == BoxType("moov") || type == BoxType("trak") || type == BoxType("mdia") ||
           type == BoxType("minf") || type == BoxType("stbl") || type == kDinf || type == BoxType("edts") ||
           type == kUdta || type == BoxType("mvex") || type == BoxType("tref");
}

// Bounds a file made of millions of empty boxes: walking it would take minutes for no use.
constexpr std::uint64_t kMaxTopLevelBoxes = std::uint64_t{1} << 22;

constexpr const char* kCutShort = kCutShortReason;
constexpr const char* kDamagedFile = "the file's box structure is damaged";
constexpr const char* kDamagedMovie = "the movie header is damaged";
constexpr const char* kDamagedTable = "a track's sample table is damaged";
constexpr const char* kGivenTwice = "a track's sample table is given twice";

// A track lists at most this many chapter tracks; more is not a file anyone wrote.
constexpr std::uint64_t kMaxChapterReferences = 64;

constexpr std::uint32_t kMaxSigned32 = 0x7fffffff;

std::uint32_t Be32(const std::uint8_t* bytes) {
    return (static_cast<std::uint32_t>(bytes[0]) << 24) | (static_cast<std::uint32_t>(bytes[1]) << 16) |
           (static_cast<std::uint32_t>(bytes[2]) << 8) | static_cast<std::uint32_t>(bytes[3]);
}

std::uint64_t Be64(const std::uint8_t* bytes) {
    return (static_cast<std::uint64_t>(Be32(bytes)) << 32) | Be32(bytes + 4);
}

struct Box {
    std::uint32_t type = 0;
    std::uint64_t offset = 0;
    std::uint64_t header = 0; // bytes of the size and type fields
    std::uint64_t size = 0;   // whole box, header included

    std::uint64_t PayloadOffset() const { return offset + header; }
    std::uint64_t PayloadSize() const { return size - header; }
    std::uint64_t End() const { return offset + size; }
};

class Walker {
public:
    Walker(int fd, QuickTimeStructure& result) : m_fd(fd), m_result(result) {}

    bool Run() {
        struct stat info {};
        if (fstat(m_fd, &info) != 0) {
            return ReadFailed(errno);
        }
        if (!S_ISREG(info.st_mode)) {
            return Fail("the input is not a regular file");
        }
        m_result.fileSize = static_cast<std::uint64_t>(info.st_size);

        Box moov;
        int moovCount = 0;
        std::uint64_t boxes = 0;
        for (std::uint64_t offset = 0; offset < m_result.fileSize;) {
            if (++boxes > kMaxTopLevelBoxes) {
                return Fail("the file has too many boxes to check");
            }
            Box box;
            if (!NextBox(offset, m_result.fileSize, true, box)) {
                return false;
            }
            if (boxes == 1) {
                m_firstBox = box;
            }
            m_fragments = m_fragments || box.type == kMoof;
            if (box.type == kMoov) {
                if (++moovCount > 1) {
                    return Fail("the file has more than one movie header");
                }
                moov = box;
            }
            offset = box.End();
        }
        if (moovCount == 0) {
            return Fail("the file has no movie header");
        }
        m_moov = moov;
        if (!WalkMovie(moov)) {
            return false;
        }
        if (m_result.videoTracks.empty()) {
            return Fail("the file has no video track");
        }
        m_result.eligible = true;
        return true;
    }

    // After Run() succeeded: the file's first box, its movie box, and whether it has fragments.
    const Box& FirstBox() const { return m_firstBox; }
    const Box& Movie() const { return m_moov; }
    bool HasFragments() const { return m_fragments; }

    // Reads the movie facts of the movie box that a strict walk found eligible. Run on a walker of its
    // own, so that damage found here (in boxes the strict walk does not read) leaves that verdict alone.
    bool ReadMovieFacts(const Box& firstBox, const Box& moov, QuickTimeMovieFacts& facts) {
        facts.firstBoxType = firstBox.type;
        if (firstBox.type == kFtyp) {
            std::uint8_t brand[4];
            if (firstBox.PayloadSize() < sizeof brand) {
                return Fail("the file type is damaged");
            }
            if (!ReadExact(firstBox.PayloadOffset(), brand, sizeof brand)) {
                return false;
            }
            facts.majorBrand = Be32(brand);
        }
        int headers = 0;
        std::vector<std::uint32_t> trackIds;
        std::vector<std::uint32_t> chapterIds;
        const bool read = ForEachChild(moov, moov.PayloadOffset(), [&](const Box& box) {
            if (box.type == kMvhd) {
                return ++headers > 1 ? Fail("the movie has more than one movie header box")
                                     : ReadMovieHeader(box, facts);
            }
            if (box.type == kMvex) {
                facts.fragmented = true;
            } else if (box.type == kTrak) {
                facts.tracks.emplace_back();
                trackIds.push_back(0);
                return ReadTrackMedia(box, facts.tracks.back(), trackIds.back(), chapterIds);
            }
            return true;
        });
        if (!read) {
            return false;
        }
        if (headers == 0) {
            return Fail("the movie has no movie header box");
        }
        for (std::size_t i = 0; i < facts.tracks.size(); ++i) {
            for (const std::uint32_t id : chapterIds) {
                facts.tracks[i].chapterPictures = facts.tracks[i].chapterPictures || id == trackIds[i];
            }
        }
        facts.complete = true;
        return true;
    }

    // Where the boxes that make a track lie, as the demuxer needs them: a track only in the movie, in each
    // track exactly one track header and one media box, in each media box exactly one media header; and
    // no box the demuxer descends into nested deeper than it allows. The demuxer reads a track header or a
    // track wherever it finds one, so a misplaced one gives another file than the one the tables describe,
    // or none at all. A box too damaged to walk ends the walk of its parent: the strict walk and the
    // table reading judge those.
    bool CheckNesting(const Box& container, int level, std::uint64_t& budget) {
        if (level > kMaxDescendedLevel) {
            return Fail("the file's boxes are nested too deeply");
        }
        int headers = 0;
        int media = 0;
        int mediaHeaders = 0;
        for (std::uint64_t offset = container.PayloadOffset(); container.End() - offset >= 8;) {
            Box box;
            if (!LenientBox(offset, container.End(), box)) {
                break;
            }
            if (--budget == 0) {
                return Fail("the file has too many boxes to check");
            }
            const bool misplaced = (box.type == kTrak && container.type != kMoov) ||
                                   ((box.type == kTkhd || box.type == kMdia) && container.type != kTrak) ||
                                   (box.type == kMdhd && container.type != kMdia);
            if (misplaced) {
                return Fail("a track's boxes lie where no track keeps them");
            }
            headers += box.type == kTkhd ? 1 : 0;
            media += box.type == kMdia ? 1 : 0;
            mediaHeaders += box.type == kMdhd ? 1 : 0;
            if (IsDescendedContainer(box.type) && !CheckNesting(box, level + 1, budget)) {
                return false;
            }
            offset = box.End();
        }
        if (container.type == kTrak && (headers != 1 || media != 1)) {
            return Fail("a track has not exactly one header and one media box");
        }
        if (container.type == kMdia && mediaHeaders != 1) {
            return Fail("a track's media has not exactly one header");
        }
        return true;
    }

private:
    // Reads a box header as the demuxer's generic reader takes it: a size of 0 runs to the end of the
    // parent. False, without a reason, when the box does not fit in the parent.
    bool LenientBox(std::uint64_t offset, std::uint64_t end, Box& box) {
        std::uint8_t header[16];
        if (ReadExactlyAt(m_fd, offset, header, 8) != 0) {
            return false;
        }
        const std::uint32_t size32 = Be32(header);
        box.type = Be32(header + 4);
        box.offset = offset;
        box.header = 8;
        if (size32 == 1) {
            if (end - offset < 16 || ReadExactlyAt(m_fd, offset + 8, header + 8, 8) != 0) {
                return false;
            }
            box.header = 16;
            box.size = Be64(header + 8);
        } else {
            box.size = size32 == 0 ? end - offset : size32;
        }
        return box.size >= box.header && box.size <= end - offset;
    }

    // Calls visit(box) for each box in the parent from the offset on; stops at the first false.
    template <typename Visit> bool ForEachChild(const Box& parent, std::uint64_t from, Visit&& visit) {
        for (std::uint64_t offset = from; offset < parent.End();) {
            Box box;
            if (!NextBox(offset, parent.End(), false, box) || !visit(box)) {
                return false;
            }
            offset = box.End();
        }
        return true;
    }

    // mvhd: version and flags; creation and modification times (32-bit in version 0, 64-bit in version 1);
    // the time scale; the duration (32 or 64 bits).
    bool ReadMovieHeader(const Box& mvhd, QuickTimeMovieFacts& facts) {
        std::uint8_t bytes[32];
        if (mvhd.PayloadSize() < 4) {
            return Fail(kDamagedMovie);
        }
        if (!ReadExact(mvhd.PayloadOffset(), bytes, 4)) {
            return false;
        }
        const int version = bytes[0];
        if (version > 1) {
            return Fail("the movie header box has an unknown version");
        }
        const std::size_t times = version == 0 ? 4 : 8;
        const std::size_t scaleAt = 4 + 2 * times;
        const std::size_t needed = scaleAt + 4 + times;
        if (mvhd.PayloadSize() < needed) {
            return Fail(kDamagedMovie);
        }
        if (!ReadExact(mvhd.PayloadOffset(), bytes, needed)) {
            return false;
        }
        facts.timescale = Be32(bytes + scaleAt);
        facts.duration = version == 0 ? Be32(bytes + scaleAt + 4) : Be64(bytes + scaleAt + 4);
        return true;
    }

    // A track's id (tkhd), its chapter references (tref/chap), its edit list (edts/elst) and its media.
    bool ReadTrackMedia(const Box& trak, QuickTimeTrackMedia& media, std::uint32_t& trackId,
                        std::vector<std::uint32_t>& chapterIds) {
        int mediaCount = 0;
        return ForEachChild(trak, trak.PayloadOffset(), [&](const Box& box) {
            if (box.type == kTkhd) {
                return ReadTrackId(box, trackId);
            }
            if (box.type == kTref) {
                return ForEachChild(box, box.PayloadOffset(), [&](const Box& reference) {
                    return reference.type != kChap || ReadChapterIds(reference, chapterIds);
                });
            }
            if (box.type == kEdts) {
                return ForEachChild(box, box.PayloadOffset(), [&](const Box& edit) {
                    std::uint64_t entries = 0;
                    return edit.type != kElst || ReadTableCount(edit, 0, entries);
                });
            }
            if (box.type == kMdia) {
                return Once(mediaCount, "a track is described twice") && ReadMedia(box, media);
            }
            return true;
        });
    }

    bool ReadTrackId(const Box& tkhd, std::uint32_t& trackId) {
        std::uint8_t bytes[24];
        if (tkhd.PayloadSize() < 4) {
            return Fail("a track header is too short");
        }
        if (!ReadExact(tkhd.PayloadOffset(), bytes, 4)) {
            return false;
        }
        const std::size_t trackIdAt = bytes[0] == 0 ? 12 : 20;
        if (bytes[0] > 1 || tkhd.PayloadSize() < trackIdAt + 4) {
            return Fail("a track header is damaged");
        }
        if (!ReadExact(tkhd.PayloadOffset(), bytes, trackIdAt + 4)) {
            return false;
        }
        trackId = Be32(bytes + trackIdAt);
        return true;
    }

    bool ReadChapterIds(const Box& chap, std::vector<std::uint32_t>& chapterIds) {
        const std::uint64_t count = chap.PayloadSize() / 4;
        if (count > kMaxChapterReferences) {
            return Fail("a track names too many chapter tracks");
        }
        std::uint8_t bytes[kMaxChapterReferences * 4];
        if (!ReadExact(chap.PayloadOffset(), bytes, static_cast<std::size_t>(count * 4))) {
            return false;
        }
        for (std::uint64_t i = 0; i < count; ++i) {
            chapterIds.push_back(Be32(bytes + 4 * i));
        }
        return true;
    }

    // mdia: its handler (as the strict walk reads it) and minf/stbl, the sample tables.
    bool ReadMedia(const Box& mdia, QuickTimeTrackMedia& media) {
        if (!ReadHandler(mdia, media.handler)) {
            return false;
        }
        int infoCount = 0;
        return ForEachChild(mdia, mdia.PayloadOffset(), [&](const Box& minf) {
            if (minf.type != kMinf) {
                return true;
            }
            int tableCount = 0;
            return Once(infoCount, "a track is described twice") &&
                   ForEachChild(minf, minf.PayloadOffset(), [&](const Box& stbl) {
                       return stbl.type != kStbl ||
                              (Once(tableCount, kGivenTwice) && ReadSampleTables(stbl, media));
                   });
        });
    }

    // stbl: every table whose entries the demuxer reads must hold them all; each table at most once.
    bool ReadSampleTables(const Box& stbl, QuickTimeTrackMedia& media) {
        int descriptions = 0;
        int timeToSample = 0;
        int sampleToChunk = 0;
        int sizes = 0;
        int chunks = 0;
        int compositions = 0;
        int syncs = 0;
        std::uint64_t timeToSampleEntries = 0;
        std::uint64_t sampleToChunkEntries = 0;
        std::uint64_t unused = 0;
        std::uint64_t lastFirstChunk = 0;
        const bool read = ForEachChild(stbl, stbl.PayloadOffset(), [&](const Box& box) {
            switch (box.type) {
            case kStsd:
                return Once(descriptions, kGivenTwice) && ReadSampleDescriptions(box, media);
            case kStts:
                return Once(timeToSample, kGivenTwice) && ReadTableCount(box, 8, timeToSampleEntries);
            case kStsc:
                return Once(sampleToChunk, kGivenTwice) && ReadTableCount(box, 12, sampleToChunkEntries) &&
                       ReadSampleToChunk(box, sampleToChunkEntries, lastFirstChunk);
            case kStsz:
            case kStz2:
                return Once(sizes, kGivenTwice) && ReadSampleSizes(box, media.sampleCount);
            case kStco:
            case kCo64:
                return Once(chunks, kGivenTwice) &&
                       ReadTableCount(box, box.type == kStco ? 4 : 8, media.chunkCount);
            case kCtts:
                return Once(compositions, kGivenTwice) && ReadTableCount(box, 8, unused);
            case kStss:
                return Once(syncs, kGivenTwice) && ReadTableCount(box, 4, unused);
            default:
                return true;
            }
        });
        // Entry counts are 32-bit fields.
        media.timeToSampleEntries = static_cast<std::uint32_t>(timeToSampleEntries);
        media.sampleToChunkEntries = static_cast<std::uint32_t>(sampleToChunkEntries);
        // The demuxer refuses a file whose chunk groups start past its last chunk.
        return read && (lastFirstChunk <= media.chunkCount || Fail(kDamagedTable));
    }

    // Calls visit(entry) for each of `entries` entries of entryBytes after the 8 bytes of version, flags
    // and count of a table that ReadTableCount (or ReadSampleSizes) found to hold them; reads in chunks.
    template <typename Visit>
    bool ForEachEntry(const Box& box, std::uint64_t skip, std::uint64_t entries, std::size_t entryBytes,
                      Visit&& visit) {
        constexpr std::size_t kChunkEntries = 4096;
        std::vector<std::uint8_t> chunk;
        for (std::uint64_t done = 0; done < entries;) {
            const std::size_t now =
                static_cast<std::size_t>(std::min<std::uint64_t>(kChunkEntries, entries - done));
            chunk.resize(now * entryBytes);
            if (!ReadExact(box.PayloadOffset() + skip + done * entryBytes, chunk.data(), chunk.size())) {
                return false;
            }
            for (std::size_t i = 0; i < now; ++i) {
                if (!visit(chunk.data() + i * entryBytes)) {
                    return false;
                }
            }
            done += now;
        }
        return true;
    }

    // stsc entries: first chunk, samples per chunk, sample description index (32 bits each). The demuxer
    // repairs entries that do not start after the previous one or that name no samples or no description;
    // here such a table is not clear.
    bool ReadSampleToChunk(const Box& stsc, std::uint64_t entries, std::uint64_t& lastFirstChunk) {
        std::uint64_t index = 0;
        std::uint64_t previous = 0;
        const bool read = ForEachEntry(stsc, 8, entries, 12, [&](const std::uint8_t* entry) {
            const std::uint64_t first = Be32(entry);
            const std::uint32_t samples = Be32(entry + 4);
            const std::uint32_t description = Be32(entry + 8);
            ++index;
            if (first < index || first <= previous || first > kMaxSigned32 || samples < 1 ||
                samples > kMaxSigned32 || description < 1 || description > kMaxSigned32) {
                return Fail(kDamagedTable);
            }
            previous = first;
            return true;
        });
        lastFirstChunk = previous;
        return read;
    }

    // Counts one more box of a kind that may be given once; fails with the reason on the second.
    bool Once(int& count, const char* reason) { return ++count == 1 || Fail(reason); }

    // A full box holding an entry count and that many entries of entryBytes each; an entryBytes of 0 is
    // an edit list, whose entries take 12 bytes in version 0 and 20 in version 1.
    bool ReadTableCount(const Box& box, std::uint64_t entryBytes, std::uint64_t& entries) {
        std::uint8_t bytes[8];
        if (box.PayloadSize() < sizeof bytes) {
            return Fail(kDamagedTable);
        }
        if (!ReadExact(box.PayloadOffset(), bytes, sizeof bytes)) {
            return false;
        }
        if (entryBytes == 0) {
            if (bytes[0] > 1) {
                return Fail(kDamagedTable);
            }
            entryBytes = bytes[0] == 0 ? 12 : 20;
        }
        entries = Be32(bytes + 4);
        if (entries * entryBytes > box.PayloadSize() - sizeof bytes) {
            return Fail(kDamagedTable);
        }
        return true;
    }

    // stsz: version and flags, a size shared by every sample (0: each listed), the sample count, then the
    // sizes. stz2: version and flags, 3 reserved bytes, the bits per size (4, 8 or 16), the count, sizes.
    bool ReadSampleSizes(const Box& box, std::uint64_t& count) {
        std::uint8_t bytes[12];
        if (box.PayloadSize() < sizeof bytes) {
            return Fail(kDamagedTable);
        }
        if (!ReadExact(box.PayloadOffset(), bytes, sizeof bytes)) {
            return false;
        }
        count = Be32(bytes + 8);
        std::uint64_t listedBits = 0;
        if (box.type == kStsz) {
            listedBits = Be32(bytes + 4) == 0 ? count * 32 : 0;
        } else {
            const std::uint8_t fieldBits = bytes[7];
            if (fieldBits != 4 && fieldBits != 8 && fieldBits != 16) {
                return Fail(kDamagedTable);
            }
            listedBits = count * fieldBits;
        }
        if ((listedBits + 7) / 8 > box.PayloadSize() - sizeof bytes) {
            return Fail(kDamagedTable);
        }
        // The demuxer takes sizes as signed 32-bit numbers and refuses a negative one.
        if (box.type == kStsz && Be32(bytes + 4) > kMaxSigned32) {
            return Fail(kDamagedTable);
        }
        if (box.type == kStsz && Be32(bytes + 4) == 0) {
            return ForEachEntry(box, 12, count, 4, [&](const std::uint8_t* size) {
                return Be32(size) <= kMaxSigned32 || Fail(kDamagedTable);
            });
        }
        return true;
    }

    // stsd: version and flags, the entry count, then one box per sample description. A video description
    // (ISO visual sample entry, QuickTime image description) starts with 6 reserved bytes, the data
    // reference index, 16 bytes of version, vendor and quality fields, then width and height (16 bits).
    bool ReadSampleDescriptions(const Box& stsd, QuickTimeTrackMedia& media) {
        std::uint8_t bytes[8];
        if (stsd.PayloadSize() < sizeof bytes) {
            return Fail(kDamagedTable);
        }
        if (!ReadExact(stsd.PayloadOffset(), bytes, sizeof bytes)) {
            return false;
        }
        const std::uint32_t declared = Be32(bytes + 4);
        std::uint32_t found = 0;
        const bool read = ForEachChild(stsd, stsd.PayloadOffset() + sizeof bytes, [&](const Box& entry) {
            if (++found > declared) {
                return Fail(kDamagedTable);
            }
            if (found > 1) {
                return true;
            }
            media.sampleEntryType = entry.type;
            if (media.handler != kVide) {
                return true;
            }
            std::uint8_t size[4];
            if (entry.PayloadSize() < 24 + sizeof size) {
                return Fail(kDamagedTable);
            }
            if (!ReadExact(entry.PayloadOffset() + 24, size, sizeof size)) {
                return false;
            }
            media.storedWidth = (size[0] << 8) | size[1];
            media.storedHeight = (size[2] << 8) | size[3];
            return true;
        });
        if (!read) {
            return false;
        }
        if (found != declared || found == 0) {
            return Fail(kDamagedTable);
        }
        media.sampleEntries = found;
        return true;
    }

    bool Fail(const char* reason) {
        m_result.eligible = false;
        m_result.reason = reason;
        m_result.videoTracks.clear();
        return false;
    }

    bool ReadFailed(int error) {
        m_result.readError = error != 0 ? error : EIO;
        return Fail("the file could not be read");
    }

    // Reads exactly size bytes at offset; the caller has checked that they lie within the file.
    bool ReadExact(std::uint64_t offset, std::uint8_t* bytes, std::size_t size) {
        const int error = ReadExactlyAt(m_fd, offset, bytes, size);
        if (error > 0) {
            return ReadFailed(error);
        }
        // The file became shorter than when it was measured.
        return error < 0 ? Fail(kCutShort) : true;
    }

    // Reads the box header at offset, which must lie before end (the end of the file or of the parent).
    // A size of 0 (to the end of the file) is valid only at the top level.
    bool NextBox(std::uint64_t offset, std::uint64_t end, bool topLevel, Box& box) {
        const char* overrun = topLevel ? kCutShort : kDamagedMovie;
        const char* impossible = topLevel ? kDamagedFile : kDamagedMovie;
        const std::uint64_t room = end - offset;
        if (room < 8) {
            return Fail(overrun);
        }
        std::uint8_t header[16];
        if (!ReadExact(offset, header, 8)) {
            return false;
        }
        const std::uint32_t size32 = Be32(header);
        box.type = Be32(header + 4);
        box.offset = offset;
        box.header = 8;
        if (topLevel) {
            for (int i = 4; i < 8; ++i) {
                if (header[i] < 0x20 || header[i] > 0x7e) {
                    return Fail(kDamagedFile);
                }
            }
        }
        if (size32 == 1) {
            if (room < 16) {
                return Fail(overrun);
            }
            if (!ReadExact(offset + 8, header + 8, 8)) {
                return false;
            }
            box.header = 16;
            box.size = Be64(header + 8);
        } else if (size32 == 0) {
            if (!topLevel) {
                return Fail(kDamagedMovie);
            }
            box.size = room;
        } else {
            box.size = size32;
        }
        if (box.size < box.header) {
            return Fail(impossible);
        }
        if (box.size > room) {
            return Fail(overrun);
        }
        return true;
    }

    bool WalkMovie(const Box& moov) {
        for (std::uint64_t offset = moov.PayloadOffset(); offset < moov.End();) {
            Box box;
            if (!NextBox(offset, moov.End(), false, box)) {
                return false;
            }
            if (box.type == kCmov) {
                return Fail("the movie header is compressed");
            }
            if (box.type == kTrak && !WalkTrack(box)) {
                return false;
            }
            offset = box.End();
        }
        return true;
    }

    bool WalkTrack(const Box& trak) {
        Box header;
        int headerCount = 0;
        int mediaCount = 0;
        std::uint32_t handler = 0;
        for (std::uint64_t offset = trak.PayloadOffset(); offset < trak.End();) {
            Box box;
            if (!NextBox(offset, trak.End(), false, box)) {
                return false;
            }
            if (box.type == kTkhd) {
                ++headerCount;
                header = box;
            } else if (box.type == kMdia) {
                if (++mediaCount > 1) {
                    return Fail("a track is described twice");
                }
                if (!ReadHandler(box, handler)) {
                    return false;
                }
            }
            offset = box.End();
        }
        if (mediaCount == 0 || handler == 0) {
            return Fail("a track does not say what it holds");
        }
        if (handler != kVide) {
            return true;
        }
        if (headerCount == 0) {
            return Fail("a video track has no track header");
        }
        if (headerCount > 1) {
            return Fail("a video track has more than one track header");
        }
        return ReadTrackHeader(header);
    }

    // The handler type of the media (mdia/hdlr): version and flags, a predefined (QuickTime: component
    // type) field, then the handler type (QuickTime: component subtype).
    bool ReadHandler(const Box& mdia, std::uint32_t& handler) {
        int handlerCount = 0;
        for (std::uint64_t offset = mdia.PayloadOffset(); offset < mdia.End();) {
            Box box;
            if (!NextBox(offset, mdia.End(), false, box)) {
                return false;
            }
            if (box.type == kHdlr) {
                if (++handlerCount > 1) {
                    return Fail("a track is described twice");
                }
                if (box.PayloadSize() < 12) {
                    return Fail("a track's media handler is damaged");
                }
                std::uint8_t bytes[4];
                if (!ReadExact(box.PayloadOffset() + 8, bytes, sizeof bytes)) {
                    return false;
                }
                handler = Be32(bytes);
                if (handler == 0) {
                    return Fail("a track does not say what it holds");
                }
            }
            offset = box.End();
        }
        return true;
    }

    // tkhd: version and flags; creation and modification times, track id, a reserved word and the
    // duration (times and duration 32-bit in version 0, 64-bit in version 1); 8 reserved bytes; layer,
    // alternate group, volume, 2 reserved bytes; the 36-byte matrix; width and height (16.16).
    bool ReadTrackHeader(const Box& tkhd) {
        std::uint8_t bytes[96];
        if (tkhd.PayloadSize() < 4) {
            return Fail("a video track header is too short");
        }
        if (!ReadExact(tkhd.PayloadOffset(), bytes, 4)) {
            return false;
        }
        const int version = bytes[0];
        if (version > 1) {
            return Fail("a video track header has an unknown version");
        }
        const std::size_t times = version == 0 ? 4 : 8;
        const std::size_t trackIdAt = 4 + 2 * times;
        const std::size_t matrixAt = trackIdAt + 4 + 4 + times + 8 + 8;
        const std::size_t needed = matrixAt + kTrackMatrixBytes + 8;
        if (tkhd.PayloadSize() < needed) {
            return Fail("a video track header is too short");
        }
        if (!ReadExact(tkhd.PayloadOffset(), bytes, needed)) {
            return false;
        }
        QuickTimeVideoTrack track;
        track.matrixOffset = tkhd.PayloadOffset() + matrixAt;
        track.trackId = Be32(bytes + trackIdAt);
        track.widthFixed = Be32(bytes + matrixAt + kTrackMatrixBytes);
        track.heightFixed = Be32(bytes + matrixAt + kTrackMatrixBytes + 4);
        for (std::size_t i = 0; i < track.matrix.size(); ++i) {
            track.matrix[i] = static_cast<std::int32_t>(Be32(bytes + matrixAt + 4 * i));
        }
        m_result.videoTracks.push_back(track);
        return true;
    }

    int m_fd;
    QuickTimeStructure& m_result;
    Box m_firstBox;
    Box m_moov;
    bool m_fragments = false;
};

} // namespace

QuickTimeStructure CheckQuickTimeStructure(int fd) {
    QuickTimeStructure result;
    Walker(fd, result).Run();
    return result;
}

QuickTimeMovieFacts ReadQuickTimeMovieFacts(int fd) {
    QuickTimeMovieFacts facts;
    QuickTimeStructure structure;
    Walker strict(fd, structure);
    if (!strict.Run()) {
        facts.reason = structure.reason;
        return facts;
    }
    QuickTimeStructure scratch;
    Walker reader(fd, scratch);
    if (!reader.ReadMovieFacts(strict.FirstBox(), strict.Movie(), facts)) {
        facts.complete = false;
        facts.reason = scratch.reason;
        facts.tracks.clear();
        return facts;
    }
    std::uint64_t budget = kMaxNestedBoxes;
    if (!reader.CheckNesting(strict.Movie(), 1, budget)) {
        facts.complete = false;
        facts.reason = scratch.reason;
        facts.tracks.clear();
        return facts;
    }
    facts.fragmented = facts.fragmented || strict.HasFragments();
    return facts;
}

} // namespace quarnix
