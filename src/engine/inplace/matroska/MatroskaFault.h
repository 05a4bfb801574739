// What keeps a Matroska or WebM file from getting its rotation written in place: found by the structure
// check or by the plan of the header rewrite. The batch turns each into plain words (FailureReason.h);
// kNone when nothing did.
#pragma once

namespace quarnix {

enum class MatroskaFault {
    kNone,
    // The structure check.
    kReadFailed,              // a read failed (the error is kept beside it)
    kNotMatroska,             // no EBML header, or a document type other than matroska or webm
    kDamaged,                 // an element header is impossible, or there are more elements than any file has
    kCutShort,                // the segment or an element runs past the end of the file
    kMoreThanOneSegment,      // the segment ends before the file does
    kUnknownSize,             // an element without a size (a live recording)
    kNoClusters,              // no cluster at all
    kTracksOutsideHeader,     // a Tracks element after the first cluster
    kTagsBetweenClusters,     // a Tags element between the first and the last cluster
    kSeekHeadBetweenClusters, // a seek head between the first and the last cluster
    kTrackListCount,          // not exactly one Tracks element
    kMoreThanOneTagList,      // two Tags elements
    kRegionTooLarge,          // the header or the tail is larger than the rewrite takes into memory
    // The plan of the rewrite.
    kTrackListDamaged,    // the Tracks element cannot be parsed, or a video track has not one Video
    kNoVideoTrack,        // no video track
    kVideoTrackWithoutId, // a video track without a TrackUID
    kTagsDamaged,         // the Tags element cannot be parsed
    kNoRoom,              // the header has no Void large enough for the growth
    kSeekHeadUnsettled,   // the seek heads' sizes did not settle
    kSeekHeadOutside,     // a seek head points at no element the rewrite knows
    kSegmentSizeTooShort, // the new segment size does not fit in the segment's size field
};

} // namespace quarnix
