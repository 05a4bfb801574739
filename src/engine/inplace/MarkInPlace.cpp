#include "engine/inplace/MarkInPlace.h"

#include "engine/batch/FailureReason.h"

#include "engine/Rotation.h"
#include "engine/inplace/matroska/MatroskaRotation.h"
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

extern "C" {
#include <libavutil/error.h>
}

namespace quarnix {

namespace {

// The kernel copies (or shares) this much per call; cancel and percent are handled between calls.
constexpr std::uint64_t kKernelChunk = std::uint64_t{64} << 20;
// Buffer of the read/write loop used where the kernel cannot copy between the two files.
constexpr std::size_t kBufferBytes = std::size_t{8} << 20;

MarkInPlaceResult Failure(int error, std::string reason) {
    MarkInPlaceResult result;
    result.outcome = MarkInPlaceOutcome::Failed;
    result.error = error;
    result.reason = std::move(reason);
    return result;
}

// A system error of reading, copying or writing, in the words every failed entry uses.
MarkInPlaceResult FailureOf(int error) {
    return Failure(error, PlainFailureReason(FailedStep::kWriteOutput, AVERROR(error)));
}

MarkInPlaceResult InputChanged() {
    return Failure(0, PlainFailureReason(FailedStep::kInputChanged, 0));
}

// Whether copy_file_range cannot serve this pair of files, so that a read/write loop must: another file
// system on older kernels, a file system without support, or a kernel without the call.
bool KernelCannotCopy(int error) {
    return error == EXDEV || error == ENOSYS || error == EOPNOTSUPP || error == ENOTSUP || error == EINVAL;
}

bool SameTracks(const QuickTimeStructure& a, const QuickTimeStructure& b) {
    if (a.videoTracks.size() != b.videoTracks.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.videoTracks.size(); ++i) {
        const QuickTimeVideoTrack& x = a.videoTracks[i];
        const QuickTimeVideoTrack& y = b.videoTracks[i];
        if (x.matrixOffset != y.matrixOffset || x.widthFixed != y.widthFixed ||
            x.heightFixed != y.heightFixed) {
            return false;
        }
    }
    return true;
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

MarkInPlaceResult NotEligible(std::string reason) {
    MarkInPlaceResult result;
    result.outcome = MarkInPlaceOutcome::NotEligible;
    result.reason = std::move(reason);
    return result;
}

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
        return Failure(EEXIST, "the output file is not a new empty file");
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

DisplayTransform TurnedTrack(const Turn& turn, const QuickTimeVideoTrack& track) {
    return TurnedTransform(turn, TransformOfMatrix(track.matrix.data()));
}

MarkInPlaceResult MarkQuickTimeInPlace(int inputFd, int outputFd, const Turn& turn,
                                       const std::atomic<std::uint8_t>& cancel,
                                       std::atomic<std::int32_t>& percent) {
    percent.store(0);
    const QuickTimeStructure input = CheckQuickTimeStructure(inputFd);
    if (input.readError != 0) {
        return Failure(input.readError, input.reason);
    }
    if (!input.eligible) {
        return NotEligible(input.reason);
    }
    const std::uint64_t size = input.fileSize;
    if (std::optional<MarkInPlaceResult> ended = CopyWholeInput(inputFd, outputFd, size, cancel, percent)) {
        return *ended;
    }

    // The output is what gets marked: its structure must be the one checked on the input, so that a
    // file changed during the copy is never marked at offsets that no longer hold matrices.
    const QuickTimeStructure output = CheckQuickTimeStructure(outputFd);
    if (output.readError != 0) {
        return FailureOf(output.readError);
    }
    if (!output.eligible || output.fileSize != size || !SameTracks(input, output)) {
        return InputChanged();
    }

    // Each track's new matrix is its own one turned, as read from the input (the output's is the same).
    std::vector<std::array<std::uint8_t, kTrackMatrixBytes>> matrices;
    for (const QuickTimeVideoTrack& track : input.videoTracks) {
        matrices.push_back(TrackMatrixBytes(TurnedTrack(turn, track), track.Width(), track.Height()));
    }
    for (std::size_t i = 0; i < output.videoTracks.size(); ++i) {
        const QuickTimeVideoTrack& track = output.videoTracks[i];
        const auto& bytes = matrices[i];
        if (int error = WriteExactlyAt(outputFd, track.matrixOffset, bytes.data(), bytes.size());
            error != 0) {
            return FailureOf(error);
        }
    }
    for (std::size_t i = 0; i < output.videoTracks.size(); ++i) {
        const QuickTimeVideoTrack& track = output.videoTracks[i];
        const auto& expected = matrices[i];
        std::array<std::uint8_t, kTrackMatrixBytes> written{};
        const int error = ReadExactlyAt(outputFd, track.matrixOffset, written.data(), written.size());
        if (error > 0) {
            return FailureOf(error);
        }
        if (error < 0 || written != expected) {
            return Failure(EIO, "the written rotation did not read back as written");
        }
    }

    return Marked(size, static_cast<int>(output.videoTracks.size()), percent);
}

MarkInPlaceResult MarkMatroskaInPlace(int inputFd, int outputFd, const Turn& turn,
                                      const std::atomic<std::uint8_t>& cancel,
                                      std::atomic<std::int32_t>& percent) {
    percent.store(0);
    const MatroskaStructure input = CheckMatroskaStructure(inputFd);
    if (input.readError != 0) {
        return Failure(input.readError, input.reason);
    }
    if (!input.eligible) {
        return NotEligible(input.reason);
    }
    const MatroskaRewrite rewrite = PlanMatroskaRotation(input, turn);
    if (!rewrite.possible) {
        return NotEligible(rewrite.reason);
    }
    const std::uint64_t size = input.fileSize;
    if (std::optional<MarkInPlaceResult> ended = CopyWholeInput(inputFd, outputFd, size, cancel, percent)) {
        return *ended;
    }

    // What gets rewritten is the output: its elements, header and tail must be the ones the plan was made
    // from, so that a file changed during the copy is never rewritten by a plan made for other bytes.
    const MatroskaStructure output = CheckMatroskaStructure(outputFd);
    if (output.readError != 0) {
        return FailureOf(output.readError);
    }
    if (!output.eligible || output.fileSize != size || !SameElements(input, output)) {
        return InputChanged();
    }
    if (int error = WriteMatroskaRewrite(outputFd, output, rewrite); error != 0) {
        return FailureOf(error);
    }
    const MatroskaStructure written = CheckMatroskaStructure(outputFd);
    if (written.readError != 0) {
        return FailureOf(written.readError);
    }
    if (!HoldsMatroskaRotation(written, rewrite.trackAngles)) {
        return Failure(EIO, "the written rotation did not read back as written");
    }
    return Marked(size, rewrite.videoTracks, percent);
}

} // namespace quarnix
