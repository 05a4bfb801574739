#include "QuickTimeBoxes.h"

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace quarnix {

namespace {

constexpr std::uint32_t FourCc(const char (&name)[5]) {
    return (static_cast<std::uint32_t>(static_cast<unsigned char>(name[0])) << 24) |
           (static_cast<std::uint32_t>(static_cast<unsigned char>(name[1])) << 16) |
           (static_cast<std::uint32_t>(static_cast<unsigned char>(name[2])) << 8) |
           static_cast<std::uint32_t>(static_cast<unsigned char>(name[3]));
}

constexpr std::uint32_t kMoov = FourCc("moov");
constexpr std::uint32_t kCmov = FourCc("cmov");
constexpr std::uint32_t kTrak = FourCc("trak");
constexpr std::uint32_t kTkhd = FourCc("tkhd");
constexpr std::uint32_t kMdia = FourCc("mdia");
constexpr std::uint32_t kHdlr = FourCc("hdlr");
constexpr std::uint32_t kVide = FourCc("vide");

// Bounds a file made of millions of empty boxes: walking it would take minutes for no use.
constexpr std::uint64_t kMaxTopLevelBoxes = std::uint64_t{1} << 22;

constexpr const char* kCutShort = "the file is cut short";
constexpr const char* kDamagedFile = "the file's box structure is damaged";
constexpr const char* kDamagedMovie = "the movie header is damaged";

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
        if (!WalkMovie(moov)) {
            return false;
        }
        if (m_result.videoTracks.empty()) {
            return Fail("the file has no video track");
        }
        m_result.eligible = true;
        return true;
    }

private:
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
        std::size_t done = 0;
        while (done < size) {
            const ssize_t got = pread(m_fd, bytes + done, size - done, static_cast<off_t>(offset + done));
            if (got < 0) {
                if (errno == EINTR) {
                    continue;
                }
                return ReadFailed(errno);
            }
            if (got == 0) {
                // The file became shorter than when it was measured.
                return Fail(kCutShort);
            }
            done += static_cast<std::size_t>(got);
        }
        return true;
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
        m_result.videoTracks.push_back(track);
        return true;
    }

    int m_fd;
    QuickTimeStructure& m_result;
};

} // namespace

QuickTimeStructure CheckQuickTimeStructure(int fd) {
    QuickTimeStructure result;
    Walker(fd, result).Run();
    return result;
}

} // namespace quarnix
