// Rotation of a QuickTime-family file (MP4, MOV, M4V, 3GP), and of a Matroska or WebM file, without a remux:
// the output is the input's bytes, copied with copy_file_range (which shares blocks on file systems that
// can), with the display matrix of every video track's header set to the chosen clockwise angle. Every
// stream, chapter, edit list, metadata item and timecode track of the input stays as it is, byte for byte.
//
// Whether a file can be marked in place is decided once, by PlanInPlace; MarkInPlace carries out the plan.
#pragma once

#include "engine/Rotation.h"
#include "engine/inplace/matroska/MatroskaRotation.h"
#include "engine/inplace/matroska/MatroskaStructure.h"
#include "engine/inplace/quicktime/QuickTimeBox.h"
#include "engine/inplace/quicktime/QuickTimeStructure.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

namespace quarnix {

enum class InPlaceFamily { kQuickTime, kMatroska };

// Why a file is not marked in place; the batch turns it into words (FailureReason.h).
struct InPlaceRefusal {
    QuickTimeFault quickTime = QuickTimeFault::kNone; // what the QuickTime walk found
    MatroskaFault matroska = MatroskaFault::kNone;    // what the Matroska check or plan found
    int readError = 0;                                // errno of a failed read, 0 when the file was read
};

// What marking a file in place will write, made from one reading of its header.
struct InPlacePlan {
    InPlaceFamily family = InPlaceFamily::kQuickTime;
    std::uint64_t fileSize = 0;
    timespec modified{}; // the input's modification time when it was read
    // QuickTime: the header region as read, where the video tracks' matrices lie, and each one's new bytes.
    QuickTimeHeader header;
    QuickTimeStructure structure;
    std::vector<std::array<std::uint8_t, kTrackMatrixBytes>> matrices;
    bool av1Video = false; // a video track holds AV1 ('av01'), whose mark VLC 3 ignores
    // Matroska: the elements as read and the header rewrite.
    MatroskaStructure matroska;
    MatroskaRewrite rewrite;
};

// A plan, or why there is none.
struct InPlaceDecision {
    std::optional<InPlacePlan> plan;
    InPlaceRefusal refusal; // when there is no plan
};

// Reads the input's header once and decides: for a QuickTime-family file its box structure must be clean
// (CheckQuickTimeStructure); for Matroska or WebM its structure must allow the header rewrite and the
// header must have room for the rotation (CheckMatroskaStructure, PlanMatroskaRotation). Each video track's
// new matrix is its own one turned by the turn (a mirror stays a mirror), or for an absolute turn the
// canonical matrix of its angle, translation included, for the track header's width and height.
InPlaceDecision PlanInPlace(int inputFd, InPlaceFamily family, const Turn& turn);

// How a mark in place ended.
enum class MarkInPlaceOutcome {
    Marked,    // the output holds the input's bytes with the new matrices, read back and checked
    Cancelled, // the cancel flag was set during the copy; the output holds part of the input
    Failed,    // reading, copying or writing failed (failure, error); the output is unusable
};

// What failed when the outcome is Failed.
enum class MarkFailure {
    kNone,
    kCopy,            // reading, copying or writing failed (error)
    kOutputNotNew,    // the output file was not a new empty file
    kInputChanged,    // the input changed while it was read
    kReadBackDiffers, // the written rotation did not read back as written
};

struct MarkInPlaceResult {
    MarkInPlaceOutcome outcome = MarkInPlaceOutcome::Failed;
    MarkFailure failure = MarkFailure::kNone;
    int error = 0; // errno of a failure, 0 otherwise
    std::uint64_t bytesCopied = 0;
    int videoTracks = 0; // video tracks whose matrix was set
};

// Copies the input into the output and writes the plan into the output.
//
// inputFd: the file the plan was made from, open for reading. outputFd: an empty regular file opened for
// reading and writing (O_RDWR, not O_APPEND) that the caller created exclusively under a temporary name;
// the caller renames it into place on Marked and removes it otherwise. The copy goes in 64 MiB chunks,
// publishing 0..100 to percent and reading cancel (non-zero: stop) between chunks. The input must still
// have the size and modification time it was planned with, and the output's header the bytes the plan was
// made from; the written rotation is read back and compared before Marked is returned. Copies between file
// systems fall back to a read/write loop with large buffers by themselves.
MarkInPlaceResult MarkInPlace(const InPlacePlan& plan, int inputFd, int outputFd,
                              const std::atomic<std::uint8_t>& cancel, std::atomic<std::int32_t>& percent);

// The 36 bytes that a video track's header holds for the transform and the given presentation size: the
// canonical display matrix, nine big-endian 32-bit values.
std::array<std::uint8_t, kTrackMatrixBytes> TrackMatrixBytes(const DisplayTransform& transform, int width,
                                                             int height);

} // namespace quarnix
