#include "engine/inplace/MarkInPlace.h"

#include "engine/Rotation.h"
#include "engine/inplace/quicktime/QuickTimeMovieFacts.h"
#include "engine/io/OutputFile.h"
#include "engine/io/PositionedIo.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace quarnix {

namespace {

// The kernel copies (or shares) this much per call; cancel and percent are handled between calls.
constexpr std::uint64_t kKernelChunk = std::uint64_t{64} << 20;
// Buffer of the read/write loop used where the kernel cannot copy between the two files.
constexpr std::size_t kBufferBytes = std::size_t{8} << 20;

MarkInPlaceResult Failure(MarkFailure failure, int error) {
    MarkInPlaceResult result;
    result.outcome = MarkInPlaceOutcome::Failed;
    result.failure = failure;
    result.error = error;
    return result;
}

// A system error of reading, copying or writing.
MarkInPlaceResult FailureOf(int error) {
    return Failure(MarkFailure::kCopy, error);
}

MarkInPlaceResult InputChanged() {
    return Failure(MarkFailure::kInputChanged, 0);
}

// Whether copy_file_range cannot serve this pair of files, so that a read/write loop must: another file
// system on older kernels, a file system without support, or a kernel without the call.
bool KernelCannotCopy(int error) {
    return error == EXDEV || error == ENOSYS || error == EOPNOTSUPP || error == ENOTSUP || error == EINVAL;
}

class Copier {
public:
    Copier(int inputFd, int outputFd) : m_in(inputFd), m_out(outputFd) {}

    // Copies up to one chunk at offset; returns the bytes copied (0: the input ended), or a negative errno.
    std::int64_t CopyChunk(std::uint64_t offset, std::uint64_t remaining) {
        while (m_kernel) {
            loff_t inOffset = static_cast<loff_t>(offset);
            loff_t outOffset = static_cast<loff_t>(offset);
            const ssize_t copied =
                copy_file_range(m_in, &inOffset, m_out, &outOffset, std::min(remaining, kKernelChunk), 0);
            if (copied >= 0) {
                return copied;
            }
            if (errno == EINTR) {
                continue;
            }
            if (!KernelCannotCopy(errno)) {
                return -errno;
            }
            m_kernel = false;
        }
        if (!m_buffer) {
            m_buffer.reset(new (std::nothrow) std::uint8_t[kBufferBytes]);
            if (!m_buffer) {
                return -ENOMEM;
            }
        }
        const std::size_t wanted = static_cast<std::size_t>(std::min<std::uint64_t>(remaining, kBufferBytes));
        ssize_t got;
        do {
            got = pread(m_in, m_buffer.get(), wanted, static_cast<off_t>(offset));
        } while (got < 0 && errno == EINTR);
        if (got <= 0) {
            return got < 0 ? -errno : 0;
        }
        if (int error = WriteExactlyAt(m_out, offset, m_buffer.get(), static_cast<std::size_t>(got));
            error != 0) {
            return -error;
        }
        return got;
    }

private:
    int m_in;
    int m_out;
    bool m_kernel = true;
    std::unique_ptr<std::uint8_t[]> m_buffer;
};

// Copies the input's size bytes into the output, which must be the new, empty file the caller created,
// publishing the percentage and reading the cancel flag between chunks. nullopt when the whole input was
// copied, else how the copy ended.
std::optional<MarkInPlaceResult> CopyWholeInput(int inputFd, int outputFd, std::uint64_t size,
                                                const std::atomic<std::uint8_t>& cancel,
                                                std::atomic<std::int32_t>& percent) {
    struct stat outputInfo {};
    if (fstat(outputFd, &outputInfo) != 0) {
        return FailureOf(errno);
    }
    if (!S_ISREG(outputInfo.st_mode) || outputInfo.st_size != 0) {
        return Failure(MarkFailure::kOutputNotNew, EEXIST);
    }
    Copier copier(inputFd, outputFd);
    WritebackStarter writeback(outputFd);
    std::uint64_t copied = 0;
    while (copied < size) {
        if (cancel.load() != 0) {
            MarkInPlaceResult result;
            result.outcome = MarkInPlaceOutcome::Cancelled;
            result.bytesCopied = copied;
            return result;
        }
        const std::int64_t done = copier.CopyChunk(copied, size - copied);
        if (done < 0) {
            MarkInPlaceResult result = FailureOf(static_cast<int>(-done));
            result.bytesCopied = copied;
            return result;
        }
        if (done == 0) {
            return InputChanged();
        }
        copied += static_cast<std::uint64_t>(done);
        writeback.Wrote(static_cast<std::uint64_t>(done));
        // The last percent is published once the rotation is written.
        percent.store(static_cast<std::int32_t>(std::min<std::uint64_t>(copied * 100 / size, 99)));
    }
    return std::nullopt;
}

MarkInPlaceResult Marked(std::uint64_t bytesCopied, int videoTracks, std::atomic<std::int32_t>& percent) {
    MarkInPlaceResult result;
    result.outcome = MarkInPlaceOutcome::Marked;
    result.bytesCopied = bytesCopied;
    result.videoTracks = videoTracks;
    percent.store(100);
    return result;
}

// Whether two checks of a Matroska file found the same elements at the same places.
bool SameElements(const MatroskaStructure& a, const MatroskaStructure& b) {
    if (a.elements.size() != b.elements.size() || a.head != b.head || a.tail != b.tail) {
        return false;
    }
    for (std::size_t i = 0; i < a.elements.size(); ++i) {
        if (a.elements[i].id != b.elements[i].id || a.elements[i].start != b.elements[i].start ||
            a.elements[i].total != b.elements[i].total) {
            return false;
        }
    }
    return true;
}

} // namespace

std::array<std::uint8_t, kTrackMatrixBytes> TrackMatrixBytes(const DisplayTransform& transform, int width,
                                                             int height) {
    const std::array<std::int32_t, 9> matrix = DisplayMatrixOf(transform, width, height);
    std::array<std::uint8_t, kTrackMatrixBytes> bytes{};
    for (std::size_t i = 0; i < matrix.size(); ++i) {
        const auto value = static_cast<std::uint32_t>(matrix[i]);
        bytes[i * 4] = static_cast<std::uint8_t>(value >> 24);
        bytes[i * 4 + 1] = static_cast<std::uint8_t>(value >> 16);
        bytes[i * 4 + 2] = static_cast<std::uint8_t>(value >> 8);
        bytes[i * 4 + 3] = static_cast<std::uint8_t>(value);
    }
    return bytes;
}

namespace {

bool SameTime(const timespec& a, const timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

// Whether the input still has the size and modification time it was planned with.
bool InputAsPlanned(int inputFd, const InPlacePlan& plan) {
    struct stat info {};
    return fstat(inputFd, &info) == 0 && static_cast<std::uint64_t>(info.st_size) == plan.fileSize &&
           SameTime(info.st_mtim, plan.modified);
}

InPlaceDecision Refused(InPlaceRefusal refusal) {
    InPlaceDecision decision;
    decision.refusal = std::move(refusal);
    return decision;
}

InPlaceDecision Planned(InPlacePlan plan) {
    InPlaceDecision decision;
    decision.plan = std::move(plan);
    return decision;
}

InPlaceDecision PlanQuickTime(int inputFd, const Turn& turn) {
    InPlacePlan plan;
    plan.family = InPlaceFamily::kQuickTime;
    plan.header = ReadQuickTimeHeader(inputFd);
    plan.structure = CheckQuickTimeStructure(plan.header);
    if (!plan.structure.eligible) {
        return Refused({plan.structure.fault, MatroskaFault::kNone, plan.structure.readError});
    }
    plan.fileSize = plan.header.fileSize;
    plan.modified = plan.header.modified;
    for (const QuickTimeVideoTrack& track : plan.structure.videoTracks) {
        const DisplayTransform turned = TurnedTransform(turn, TransformOfMatrix(track.matrix.data()));
        plan.matrices.push_back(TrackMatrixBytes(turned, track.Width(), track.Height()));
    }
    for (const QuickTimeTrackMedia& track : ReadQuickTimeMovieFacts(plan.header).tracks) {
        plan.av1Video =
            plan.av1Video || (track.handler == box::kVide && track.sampleEntryType == BoxType("av01"));
    }
    return Planned(std::move(plan));
}

InPlaceDecision PlanMatroska(int inputFd, const Turn& turn) {
    InPlacePlan plan;
    plan.family = InPlaceFamily::kMatroska;
    struct stat info {};
    if (fstat(inputFd, &info) != 0) {
        return Refused({QuickTimeFault::kNone, MatroskaFault::kNone, errno});
    }
    plan.modified = info.st_mtim;
    plan.matroska = CheckMatroskaStructure(inputFd);
    if (!plan.matroska.eligible) {
        return Refused({QuickTimeFault::kNone, plan.matroska.fault, plan.matroska.readError});
    }
    plan.rewrite = PlanMatroskaRotation(plan.matroska, turn);
    if (!plan.rewrite.possible) {
        return Refused({QuickTimeFault::kNone, plan.rewrite.fault, 0});
    }
    plan.fileSize = plan.matroska.fileSize;
    return Planned(std::move(plan));
}

// Sets the planned matrices in the output, a copy of the planned input, and reads them back at once.
MarkInPlaceResult MarkQuickTime(const InPlacePlan& plan, int outputFd, std::atomic<std::int32_t>& percent) {
    // The output is what gets marked: its header must be the one planned from, so that a file changed
    // during the copy is never marked at offsets that no longer hold matrices.
    const QuickTimeHeader output = ReadQuickTimeHeader(outputFd);
    if (output.readError != 0) {
        return FailureOf(output.readError);
    }
    if (!SameQuickTimeLayout(plan.header, output)) {
        return InputChanged();
    }
    const std::vector<QuickTimeVideoTrack>& tracks = plan.structure.videoTracks;
    for (std::size_t i = 0; i < tracks.size(); ++i) {
        const auto& bytes = plan.matrices[i];
        if (int error = WriteExactlyAt(outputFd, tracks[i].matrixOffset, bytes.data(), bytes.size());
            error != 0) {
            return FailureOf(error);
        }
    }
    // The matrices lie in the movie box, in file order: one read from the first to the end of the last.
    const std::uint64_t first = tracks.front().matrixOffset;
    std::vector<std::uint8_t> written(
        static_cast<std::size_t>(tracks.back().matrixOffset + kTrackMatrixBytes - first));
    const int error = ReadExactlyAt(outputFd, first, written.data(), written.size());
    if (error > 0) {
        return FailureOf(error);
    }
    for (std::size_t i = 0; i < tracks.size(); ++i) {
        const auto& expected = plan.matrices[i];
        const auto at = static_cast<std::ptrdiff_t>(tracks[i].matrixOffset - first);
        if (error < 0 || !std::equal(expected.begin(), expected.end(), written.begin() + at)) {
            return Failure(MarkFailure::kReadBackDiffers, EIO);
        }
    }
    return Marked(plan.fileSize, static_cast<int>(tracks.size()), percent);
}

MarkInPlaceResult MarkMatroska(const InPlacePlan& plan, int outputFd, std::atomic<std::int32_t>& percent) {
    // What gets rewritten is the output: its elements, header and tail must be the ones the plan was made
    // from, so that a file changed during the copy is never rewritten by a plan made for other bytes.
    const MatroskaStructure output = CheckMatroskaStructure(outputFd);
    if (output.readError != 0) {
        return FailureOf(output.readError);
    }
    if (!output.eligible || output.fileSize != plan.fileSize || !SameElements(plan.matroska, output)) {
        return InputChanged();
    }
    if (int error = WriteMatroskaRewrite(outputFd, output, plan.rewrite); error != 0) {
        return FailureOf(error);
    }
    // Read back: the output's structure was read once above; its clusters were not written, so only its
    // header and tail are walked again.
    const MatroskaStructure written = RecheckRewrittenMatroska(outputFd, output);
    if (written.readError != 0) {
        return FailureOf(written.readError);
    }
    if (!HoldsMatroskaRotation(written, plan.rewrite.trackAngles)) {
        return Failure(MarkFailure::kReadBackDiffers, EIO);
    }
    return Marked(plan.fileSize, plan.rewrite.videoTracks, percent);
}

} // namespace

InPlaceDecision PlanInPlace(int inputFd, InPlaceFamily family, const Turn& turn) {
    return family == InPlaceFamily::kQuickTime ? PlanQuickTime(inputFd, turn) : PlanMatroska(inputFd, turn);
}

MarkInPlaceResult MarkInPlace(const InPlacePlan& plan, int inputFd, int outputFd,
                              const std::atomic<std::uint8_t>& cancel, std::atomic<std::int32_t>& percent) {
    percent.store(0);
    if (std::optional<MarkInPlaceResult> ended =
            CopyWholeInput(inputFd, outputFd, plan.fileSize, cancel, percent)) {
        return *ended;
    }
    if (!InputAsPlanned(inputFd, plan)) {
        return InputChanged();
    }
    return plan.family == InPlaceFamily::kQuickTime ? MarkQuickTime(plan, outputFd, percent)
                                                    : MarkMatroska(plan, outputFd, percent);
}

} // namespace quarnix
