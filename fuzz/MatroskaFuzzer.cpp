// Fuzz target: the Matroska structure check and the header rewrite on arbitrary file contents, and marking
// in place where the structure allows it. Traps when a result breaks what they promise: an eligible file
// whose elements leave the file, a rewritten header of another size, a marked output whose clusters differ
// from the input's, or an eligible file with a possible rewrite that is not marked. Also the batch's
// acceptance read from the elements alone, which traps when it gives facts that are not an accepted
// video's (a duration or a frame size that is not positive).
#include "FuzzInput.h"
#include "engine/inplace/MarkInPlace.h"
#include "engine/inplace/matroska/MatroskaRotation.h"
#include "engine/io/FileDescriptor.h"
#include "engine/probe/MediaProbe.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string input = quarnix::fuzz::ScratchPath(".mkv");
    static const std::string output = quarnix::fuzz::ScratchPath("-marked.mkv");
    if (!quarnix::fuzz::WriteBytes(input, data, size)) {
        return 0;
    }
    const quarnix::FileDescriptor in(open(input.c_str(), O_RDONLY | O_CLOEXEC));
    if (in.get() < 0) {
        return 0;
    }
    const quarnix::MatroskaStructure structure = quarnix::CheckMatroskaStructure(in.get());
    if (structure.eligible != (structure.fault == quarnix::MatroskaFault::kNone)) {
        __builtin_trap();
    }
    if (!structure.eligible) {
        return 0;
    }
    for (const quarnix::MatroskaLevel1& element : structure.elements) {
        if (element.End() > size || element.start < structure.segmentData) {
            __builtin_trap();
        }
    }
    if (const std::optional<quarnix::MediaFacts> elements = quarnix::MatroskaAcceptance(in.get())) {
        if (!elements->Accepted() || elements->durationUs <= 0 || elements->width <= 0 ||
            elements->height <= 0) {
            __builtin_trap();
        }
    }
    const quarnix::MatroskaRewrite rewrite =
        quarnix::PlanMatroskaRotation(structure, quarnix::Turn::Clockwise(90));
    if (rewrite.possible && rewrite.head.size() != structure.head.size()) {
        __builtin_trap();
    }

    const quarnix::FileDescriptor out(quarnix::fuzz::CreateFreshFile(output));
    if (out.get() < 0) {
        return 0;
    }
    const std::atomic<std::uint8_t> cancel{0};
    std::atomic<std::int32_t> percent{0};
    const quarnix::InPlaceDecision decision =
        quarnix::PlanInPlace(in.get(), quarnix::InPlaceFamily::kMatroska, quarnix::Turn::Clockwise(90));
    if (decision.plan.has_value() != rewrite.possible) {
        __builtin_trap(); // the plan is the one made just above
    }
    if (!decision.plan) {
        return 0;
    }
    const quarnix::MarkInPlaceResult result =
        quarnix::MarkInPlace(*decision.plan, in.get(), out.get(), cancel, percent);
    if (result.outcome == quarnix::MarkInPlaceOutcome::Marked) {
        const std::uint64_t from = structure.HeadEnd();
        const std::uint64_t to = structure.TailStart();
        std::vector<std::uint8_t> media(to - from);
        if (pread(out.get(), media.data(), media.size(), static_cast<off_t>(from)) !=
                static_cast<ssize_t>(media.size()) ||
            std::memcmp(media.data(), data + from, media.size()) != 0) {
            __builtin_trap();
        }
    } else if (rewrite.possible &&
               (result.outcome != quarnix::MarkInPlaceOutcome::Failed || result.error != ENOSPC)) {
        // The input does not change under the fuzzer, so a possible rewrite is always written.
        __builtin_trap();
    }
    unlink(output.c_str());
    return 0;
}
