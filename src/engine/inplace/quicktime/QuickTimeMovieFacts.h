// The movie-facts walk: what the movie header and the tracks' sample tables of a QuickTime-family file
// say, read without a demuxer from the header region read once (QuickTimeBox.h): enough to tell whether a
// file is a video the demuxer opens and how long it lasts.
#pragma once

#include "engine/inplace/quicktime/QuickTimeBox.h"

#include <cstdint>
#include <vector>

namespace quarnix {

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

// `complete` only when all of it was read and every table lies within its box; otherwise `fault` says
// what was not clear.
struct QuickTimeMovieFacts {
    bool complete = false;
    QuickTimeFault fault = QuickTimeFault::kNone;
    std::uint32_t firstBoxType = 0;          // the type of the file's first box ('ftyp', 'moov', 'mdat'...)
    std::uint32_t majorBrand = 0;            // the ftyp major brand when the first box is 'ftyp'
    bool fragmented = false;                 // the movie extends into fragments (mvex in moov, or moof boxes)
    std::uint32_t timescale = 0;             // mvhd: units per second
    std::uint64_t duration = 0;              // mvhd: the movie's duration in those units
    std::vector<QuickTimeTrackMedia> tracks; // every track, in file order
};

// Reads the movie facts of a file whose structure is eligible (CheckQuickTimeStructure): the file type,
// the movie header (versions 0 and 1), whether the movie is fragmented and, for every track, its handler,
// first sample description and the entry counts of its sample tables and edit list, each checked to lie
// within its box, and where the boxes that make a track lie. Reads only the movie's boxes, never the media
// data. Not complete when the structure is not eligible or anything read is damaged, missing or given
// twice.
QuickTimeMovieFacts ReadQuickTimeMovieFacts(const QuickTimeHeader& header);

// The same for the file behind fd, whose header region is read for it.
QuickTimeMovieFacts ReadQuickTimeMovieFacts(int fd);

} // namespace quarnix
