#include "engine/inplace/quicktime/QuickTimeMovieFacts.h"

#include "engine/inplace/quicktime/QuickTimeStructure.h"
#include "engine/inplace/quicktime/QuickTimeTrackHeader.h"

#include <cstring>

namespace quarnix {

namespace {

using namespace box;

// The demuxer reads these boxes as lists of boxes with one generic reader, which refuses a file whose
// boxes it would descend into lie deeper than this (top-level boxes are at level 1).
constexpr int kMaxDescendedLevel = 10;
// Bounds the boxes looked at for their nesting, as the top level is bounded.
constexpr std::uint64_t kMaxNestedBoxes = std::uint64_t{1} << 22;

bool IsDescendedContainer(std::uint32_t type) {
    return type == kMoov || type == kTrak || type == kMdia || type == kMinf || type == kStbl ||
           type == kDinf || type == kEdts || type == kUdta || type == kMvex || type == kTref;
}

// A track lists at most this many chapter tracks; more is not a file anyone wrote.
constexpr std::uint64_t kMaxChapterReferences = 64;

constexpr std::uint32_t kMaxSigned32 = 0x7fffffff;

class FactsWalk : public HandlerWalk {
public:
    using HandlerWalk::HandlerWalk;

    // Reads the movie facts of the movie box that the strict walk found eligible.
    bool ReadMovieFacts(QuickTimeMovieFacts& facts) {
        const Box& firstBox = m_header.firstBox;
        const Box& moov = m_header.movie;
        facts.firstBoxType = firstBox.type;
        if (firstBox.type == kFtyp) {
            if (m_header.firstBytes.size() < 4) {
                return Fail(QuickTimeFault::kFileTypeDamaged);
            }
            facts.majorBrand = Be32(m_header.firstBytes.data());
        }
        int headers = 0;
        std::vector<std::uint32_t> trackIds;
        std::vector<std::uint32_t> chapterIds;
        const bool read = ForEachChild(moov, moov.PayloadOffset(), [&](const Box& box) {
            if (box.type == kMvhd) {
                return ++headers > 1 ? Fail(QuickTimeFault::kTwoMovieHeaderBoxes)
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
            return Fail(QuickTimeFault::kNoMovieHeaderBox);
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
            return Fail(QuickTimeFault::kNestedTooDeeply);
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
                return Fail(QuickTimeFault::kTooManyBoxes);
            }
            const bool misplaced = (box.type == kTrak && container.type != kMoov) ||
                                   ((box.type == kTkhd || box.type == kMdia) && container.type != kTrak) ||
                                   (box.type == kMdhd && container.type != kMdia);
            if (misplaced) {
                return Fail(QuickTimeFault::kMisplacedTrackBoxes);
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
            return Fail(QuickTimeFault::kTrackBoxCount);
        }
        if (container.type == kMdia && mediaHeaders != 1) {
            return Fail(QuickTimeFault::kMediaHeaderCount);
        }
        return true;
    }

    // mvhd: version and flags; creation and modification times (32-bit in version 0, 64-bit in version 1);
    // the time scale; the duration (32 or 64 bits).
private:
    bool ReadMovieHeader(const Box& mvhd, QuickTimeMovieFacts& facts) {
        std::uint8_t bytes[32];
        if (mvhd.PayloadSize() < 4) {
            return Fail(QuickTimeFault::kDamagedMovie);
        }
        if (!ReadExact(mvhd.PayloadOffset(), bytes, 4)) {
            return false;
        }
        const int version = bytes[0];
        if (version > 1) {
            return Fail(QuickTimeFault::kMovieHeaderVersion);
        }
        const std::size_t times = version == 0 ? 4 : 8;
        const std::size_t scaleAt = 4 + 2 * times;
        const std::size_t needed = scaleAt + 4 + times;
        if (mvhd.PayloadSize() < needed) {
            return Fail(QuickTimeFault::kDamagedMovie);
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
                return Once(mediaCount, QuickTimeFault::kTrackDescribedTwice) && ReadMedia(box, media);
            }
            return true;
        });
    }

    bool ReadTrackId(const Box& tkhd, std::uint32_t& trackId) {
        const std::uint8_t* payload = Bytes(tkhd.PayloadOffset(), tkhd.PayloadSize());
        if (payload == nullptr) {
            return false;
        }
        const TrackHeader header = ParseTrackHeader(payload, tkhd.PayloadSize());
        switch (header.read) {
        case TrackHeader::Read::kComplete:
        case TrackHeader::Read::kTrackIdOnly:
            trackId = header.trackId;
            return true;
        case TrackHeader::Read::kTooShort:
            return Fail(QuickTimeFault::kTrackHeaderTooShort);
        default:
            return Fail(QuickTimeFault::kTrackHeaderDamaged);
        }
    }

    bool ReadChapterIds(const Box& chap, std::vector<std::uint32_t>& chapterIds) {
        const std::uint64_t count = chap.PayloadSize() / 4;
        if (count > kMaxChapterReferences) {
            return Fail(QuickTimeFault::kTooManyChapters);
        }
        std::uint8_t bytes[kMaxChapterReferences * 4] = {};
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
            return Once(infoCount, QuickTimeFault::kTrackDescribedTwice) &&
                   ForEachChild(minf, minf.PayloadOffset(), [&](const Box& stbl) {
                       return stbl.type != kStbl || (Once(tableCount, QuickTimeFault::kTableGivenTwice) &&
                                                     ReadSampleTables(stbl, media));
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
                return Once(descriptions, QuickTimeFault::kTableGivenTwice) &&
                       ReadSampleDescriptions(box, media);
            case kStts:
                return Once(timeToSample, QuickTimeFault::kTableGivenTwice) &&
                       ReadTableCount(box, 8, timeToSampleEntries);
            case kStsc:
                return Once(sampleToChunk, QuickTimeFault::kTableGivenTwice) &&
                       ReadTableCount(box, 12, sampleToChunkEntries) &&
                       ReadSampleToChunk(box, sampleToChunkEntries, lastFirstChunk);
            case kStsz:
            case kStz2:
                return Once(sizes, QuickTimeFault::kTableGivenTwice) &&
                       ReadSampleSizes(box, media.sampleCount);
            case kStco:
            case kCo64:
                return Once(chunks, QuickTimeFault::kTableGivenTwice) &&
                       ReadTableCount(box, box.type == kStco ? 4 : 8, media.chunkCount);
            case kCtts:
                return Once(compositions, QuickTimeFault::kTableGivenTwice) && ReadTableCount(box, 8, unused);
            case kStss:
                return Once(syncs, QuickTimeFault::kTableGivenTwice) && ReadTableCount(box, 4, unused);
            default:
                return true;
            }
        });
        // Entry counts are 32-bit fields.
        media.timeToSampleEntries = static_cast<std::uint32_t>(timeToSampleEntries);
        media.sampleToChunkEntries = static_cast<std::uint32_t>(sampleToChunkEntries);
        // The demuxer refuses a file whose chunk groups start past its last chunk.
        return read && (lastFirstChunk <= media.chunkCount || Fail(QuickTimeFault::kDamagedTable));
    }

    // Calls visit(entry) for each of `entries` entries of entryBytes after the skip bytes of a table that
    // ReadTableCount (or ReadSampleSizes) found to hold them.
    template <typename Visit>
    bool ForEachEntry(const Box& box, std::uint64_t skip, std::uint64_t entries, std::size_t entryBytes,
                      Visit&& visit) {
        const std::uint8_t* table = Bytes(box.PayloadOffset() + skip, entries * entryBytes);
        if (table == nullptr) {
            return false;
        }
        for (std::uint64_t i = 0; i < entries; ++i) {
            if (!visit(table + i * entryBytes)) {
                return false;
            }
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
                return Fail(QuickTimeFault::kDamagedTable);
            }
            previous = first;
            return true;
        });
        lastFirstChunk = previous;
        return read;
    }

    // A full box holding an entry count and that many entries of entryBytes each; an entryBytes of 0 is
    // an edit list, whose entries take 12 bytes in version 0 and 20 in version 1.
    bool ReadTableCount(const Box& box, std::uint64_t entryBytes, std::uint64_t& entries) {
        std::uint8_t bytes[8];
        if (box.PayloadSize() < sizeof bytes) {
            return Fail(QuickTimeFault::kDamagedTable);
        }
        if (!ReadExact(box.PayloadOffset(), bytes, sizeof bytes)) {
            return false;
        }
        if (entryBytes == 0) {
            if (bytes[0] > 1) {
                return Fail(QuickTimeFault::kDamagedTable);
            }
            entryBytes = bytes[0] == 0 ? 12 : 20;
        }
        entries = Be32(bytes + 4);
        if (entries * entryBytes > box.PayloadSize() - sizeof bytes) {
            return Fail(QuickTimeFault::kDamagedTable);
        }
        return true;
    }

    // stsz: version and flags, a size shared by every sample (0: each listed), the sample count, then the
    // sizes. stz2: version and flags, 3 reserved bytes, the bits per size (4, 8 or 16), the count, sizes.
    bool ReadSampleSizes(const Box& box, std::uint64_t& count) {
        std::uint8_t bytes[12];
        if (box.PayloadSize() < sizeof bytes) {
            return Fail(QuickTimeFault::kDamagedTable);
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
                return Fail(QuickTimeFault::kDamagedTable);
            }
            listedBits = count * fieldBits;
        }
        if ((listedBits + 7) / 8 > box.PayloadSize() - sizeof bytes) {
            return Fail(QuickTimeFault::kDamagedTable);
        }
        // The demuxer takes sizes as signed 32-bit numbers and refuses a negative one.
        if (box.type == kStsz && Be32(bytes + 4) > kMaxSigned32) {
            return Fail(QuickTimeFault::kDamagedTable);
        }
        if (box.type == kStsz && Be32(bytes + 4) == 0) {
            return ForEachEntry(box, 12, count, 4, [&](const std::uint8_t* size) {
                return Be32(size) <= kMaxSigned32 || Fail(QuickTimeFault::kDamagedTable);
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
            return Fail(QuickTimeFault::kDamagedTable);
        }
        if (!ReadExact(stsd.PayloadOffset(), bytes, sizeof bytes)) {
            return false;
        }
        const std::uint32_t declared = Be32(bytes + 4);
        std::uint32_t found = 0;
        const bool read = ForEachChild(stsd, stsd.PayloadOffset() + sizeof bytes, [&](const Box& entry) {
            if (++found > declared) {
                return Fail(QuickTimeFault::kDamagedTable);
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
                return Fail(QuickTimeFault::kDamagedTable);
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
            return Fail(QuickTimeFault::kDamagedTable);
        }
        media.sampleEntries = found;
        return true;
    }

    // Copies size bytes at offset of the movie, which the caller checked to lie within a walked box.
    bool ReadExact(std::uint64_t offset, std::uint8_t* bytes, std::size_t size) {
        const std::uint8_t* from = Bytes(offset, size);
        if (from == nullptr) {
            return false;
        }
        std::memcpy(bytes, from, size);
        return true;
    }
};

} // namespace

QuickTimeMovieFacts ReadQuickTimeMovieFacts(const QuickTimeHeader& header) {
    QuickTimeMovieFacts facts;
    const QuickTimeStructure structure = CheckQuickTimeStructure(header);
    if (!structure.eligible) {
        facts.fault = structure.fault;
        return facts;
    }
    FactsWalk walk(header);
    std::uint64_t budget = kMaxNestedBoxes;
    if (!walk.ReadMovieFacts(facts) || !walk.CheckNesting(header.movie, 1, budget)) {
        facts.complete = false;
        facts.fault = walk.Fault();
        facts.tracks.clear();
        return facts;
    }
    facts.fragmented = facts.fragmented || header.fragments;
    return facts;
}

QuickTimeMovieFacts ReadQuickTimeMovieFacts(int fd) {
    return ReadQuickTimeMovieFacts(ReadQuickTimeHeader(fd));
}

} // namespace quarnix
