// Fuzz target: the QuickTime box walker on arbitrary file contents, and marking in place where it finds
// the structure eligible. Traps when a result breaks what the walker promises: a video track's matrix
// outside the file, an eligible file without video tracks, a marked output that differs from its input
// anywhere but in the matrices. Also the batch's acceptance read from the box structure alone, which
// traps when it gives facts that are not an accepted video's (a duration or a frame size that is not
// positive). It is not compared with the demuxer here: the demuxer also refuses headers whose damage lies
// inside boxes the walker only measures (a codec's configuration in a sample description, for one).
#include "FuzzInput.h"
#include "engine/inplace/MarkInPlace.h"
#include "engine/inplace/quicktime/QuickTimeMovieFacts.h"
#include "engine/inplace/quicktime/QuickTimeStructure.h"
#include "engine/io/FileDescriptor.h"
#include "engine/probe/MediaProbe.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

namespace {

bool Inside(const quarnix::QuickTimeVideoTrack& track, std::size_t offset) {
    return offset >= track.matrixOffset && offset < track.matrixOffset + quarnix::kTrackMatrixBytes;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string input = quarnix::fuzz::ScratchPath(".qt");
    static const std::string output = quarnix::fuzz::ScratchPath("-marked.qt");
    if (!quarnix::fuzz::WriteBytes(input, data, size)) {
        return 0;
    }
    const quarnix::FileDescriptor in(open(input.c_str(), O_RDONLY | O_CLOEXEC));
    if (in.get() < 0) {
        return 0;
    }
    const quarnix::QuickTimeStructure structure = quarnix::CheckQuickTimeStructure(in.get());
    if (structure.eligible != (structure.fault == quarnix::QuickTimeFault::kNone) ||
        structure.eligible == structure.videoTracks.empty()) {
        __builtin_trap();
    }
    for (const quarnix::QuickTimeVideoTrack& track : structure.videoTracks) {
        if (track.matrixOffset + quarnix::kTrackMatrixBytes + 8 > size) {
            __builtin_trap();
        }
    }
    if (!structure.eligible) {
        return 0;
    }
    if (const std::optional<quarnix::MediaFacts> boxes = quarnix::QuickTimeAcceptance(in.get())) {
        if (!boxes->Accepted() || boxes->durationUs <= 0 || boxes->width <= 0 || boxes->height <= 0) {
            __builtin_trap();
        }
    }

    const quarnix::FileDescriptor out(quarnix::fuzz::CreateFreshFile(output));
    if (out.get() < 0) {
        return 0;
    }
    const std::atomic<std::uint8_t> cancel{0};
    std::atomic<std::int32_t> percent{0};
    const quarnix::InPlaceDecision decision =
        quarnix::PlanInPlace(in.get(), quarnix::InPlaceFamily::kQuickTime, quarnix::Turn::Clockwise(90));
    if (!decision.plan) {
        __builtin_trap(); // the structure was found eligible just above
    }
    const quarnix::MarkInPlaceResult result =
        quarnix::MarkInPlace(*decision.plan, in.get(), out.get(), cancel, percent);
    if (result.outcome == quarnix::MarkInPlaceOutcome::Marked) {
        std::vector<std::uint8_t> marked(size);
        if (pread(out.get(), marked.data(), size, 0) != static_cast<ssize_t>(size)) {
            __builtin_trap();
        }
        for (std::size_t i = 0; i < size; ++i) {
            if (marked[i] == data[i]) {
                continue;
            }
            bool inMatrix = false;
            for (const quarnix::QuickTimeVideoTrack& track : structure.videoTracks) {
                inMatrix = inMatrix || Inside(track, i);
            }
            if (!inMatrix) {
                __builtin_trap();
            }
        }
    } else if (result.outcome != quarnix::MarkInPlaceOutcome::Failed || result.error != ENOSPC) {
        // The input does not change under the fuzzer, so an eligible file is always marked.
        __builtin_trap();
    }
    unlink(output.c_str());
    return 0;
}
