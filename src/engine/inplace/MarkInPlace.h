// Rotation of a QuickTime-family file (MP4, MOV, M4V, 3GP), and of a Matroska or WebM file, without a remux:
// the output is the input's bytes, copied with copy_file_range (which shares blocks on file systems that
// can), with the display matrix of every video track's header set to the chosen clockwise angle. Every
// stream, chapter, edit list, metadata item and timecode track of the input stays as it is, byte for byte.
#pragma once

#include "engine/Rotation.h"
#include "engine/inplace/quicktime/QuickTimeBoxes.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <string>

namespace quarnix {

enum class MarkInPlaceOutcome {
    Marked,      // the output holds the input's bytes with the new matrices, read back and checked
    NotEligible, // the structure does not allow it (reason); nothing was written
    Cancelled,   // the cancel flag was set during the copy; the output holds part of the input
    Failed,      // reading, copying or writing failed (error, reason); the output is unusable
};

struct MarkInPlaceResult {
    MarkInPlaceOutcome outcome = MarkInPlaceOutcome::Failed;
    int error = 0;      // errno of a failure, 0 otherwise
    std::string reason; // plain words for NotEligible and Failed ("the disk is full")
    std::uint64_t bytesCopied = 0;
    int videoTracks = 0; // video tracks whose matrix was set
};

// Copies the input into the output and sets the display matrix of every video track to its own matrix
// turned by the turn (a mirror stays a mirror), or for an absolute turn to the canonical matrix of its
// angle, translation included, for the track header's width and height.
//
// inputFd: open for reading. outputFd: an empty regular file opened for reading and writing (O_RDWR, not
// O_APPEND) that the caller created exclusively under a temporary name; the caller renames it into place
// on Marked and removes it otherwise. The structure is checked first (NotEligible writes nothing); the
// copy goes in 64 MiB chunks, publishing 0..100 to percent and reading cancel (non-zero: stop) between
// chunks; the written matrices are read back from the output and compared before Marked is returned.
// Copies between file systems fall back to a read/write loop with large buffers by themselves.
MarkInPlaceResult MarkQuickTimeInPlace(int inputFd, int outputFd, const Turn& turn,
                                       const std::atomic<std::uint8_t>& cancel,
                                       std::atomic<std::int32_t>& percent);

// The same for a Matroska or WebM file: the output is the input's bytes, with the rotation written into
// the header before the first cluster and the tags (MatroskaRotation.h); the clusters, which hold the
// media, are the input's bytes at the input's offsets. NotEligible when the structure does not allow it,
// or the header has no room for the rotation (nothing was written then).
MarkInPlaceResult MarkMatroskaInPlace(int inputFd, int outputFd, const Turn& turn,
                                      const std::atomic<std::uint8_t>& cancel,
                                      std::atomic<std::int32_t>& percent);

// The 36 bytes that a video track's header holds for the transform and the given presentation size: the
// canonical display matrix, nine big-endian 32-bit values.
std::array<std::uint8_t, kTrackMatrixBytes> TrackMatrixBytes(const DisplayTransform& transform, int width,
                                                             int height);

} // namespace quarnix
