#include "engine/inplace/quicktime/QuickTimeBox.h"

#include "engine/io/PositionedIo.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>

namespace quarnix {

namespace {

using namespace box;

// Bounds a file made of millions of empty boxes: walking it would take minutes for no use.
constexpr std::uint64_t kMaxTopLevelBoxes = std::uint64_t{1} << 22;
// The first read takes this much of the file's start: the whole header region of a clip whose movie box
// comes first, and the first box of any other.
constexpr std::uint64_t kFirstReadBytes = std::uint64_t{64} << 10;
// The most a box header takes: size, type and a 64-bit size.
constexpr std::uint64_t kLongHeader = 16;

// Reads a box header from bytes (at least min(16, room) of them) at offset, with room bytes left in the
// file or the parent. A size of 0 (to the end of the file) is valid only at the top level, where the type
// must also be printable.
QuickTimeFault ParseBoxHeader(const std::uint8_t* bytes, std::uint64_t offset, std::uint64_t room,
                              bool topLevel, Box& box) {
    const QuickTimeFault overrun = topLevel ? QuickTimeFault::kCutShort : QuickTimeFault::kDamagedMovie;
    const QuickTimeFault impossible = topLevel ? QuickTimeFault::kDamagedFile : QuickTimeFault::kDamagedMovie;
    if (room < 8) {
        return overrun;
    }
    const std::uint32_t size32 = Be32(bytes);
    box.type = Be32(bytes + 4);
    box.offset = offset;
    box.header = 8;
    if (topLevel) {
        for (int i = 4; i < 8; ++i) {
            if (bytes[i] < 0x20 || bytes[i] > 0x7e) {
                return QuickTimeFault::kDamagedFile;
            }
        }
    }
    if (size32 == 1) {
        if (room < kLongHeader) {
            return overrun;
        }
        box.header = kLongHeader;
        box.size = Be64(bytes + 8);
    } else if (size32 == 0) {
        if (!topLevel) {
            return QuickTimeFault::kDamagedMovie;
        }
        box.size = room;
    } else {
        box.size = size32;
    }
    if (box.size < box.header) {
        return impossible;
    }
    if (box.size > room) {
        return overrun;
    }
    return QuickTimeFault::kNone;
}

// Reads the file's start once and serves later reads from it where they fall inside.
class HeaderReader {
public:
    HeaderReader(int fd, QuickTimeHeader& header) : m_fd(fd), m_header(header) {}

    bool Run() {
        struct stat info {};
        if (fstat(m_fd, &info) != 0) {
            return ReadFailed(errno);
        }
        if (!S_ISREG(info.st_mode)) {
            return Fail(QuickTimeFault::kNotRegularFile);
        }
        m_header.fileSize = static_cast<std::uint64_t>(info.st_size);
        m_header.modified = info.st_mtim;
        m_start.resize(static_cast<std::size_t>(std::min(m_header.fileSize, kFirstReadBytes)));
        if (!ReadExact(0, m_start.data(), m_start.size())) {
            return false;
        }

        int movies = 0;
        std::uint64_t boxes = 0;
        for (std::uint64_t offset = 0; offset < m_header.fileSize;) {
            if (++boxes > kMaxTopLevelBoxes) {
                return Fail(QuickTimeFault::kTooManyBoxes);
            }
            const std::uint64_t room = m_header.fileSize - offset;
            std::uint8_t bytes[kLongHeader];
            Box box;
            if (room >= 8 && !Read(offset, bytes, std::min(room, kLongHeader))) {
                return false;
            }
            if (const QuickTimeFault fault = ParseBoxHeader(bytes, offset, room, true, box);
                fault != QuickTimeFault::kNone) {
                return Fail(fault);
            }
            if (boxes == 1) {
                m_header.firstBox = box;
            }
            m_header.fragments = m_header.fragments || box.type == kMoof;
            if (box.type == kMoov) {
                if (++movies > 1) {
                    return Fail(QuickTimeFault::kMoreThanOneMovie);
                }
                m_header.movie = box;
            }
            offset = box.End();
        }
        if (movies == 0) {
            return Fail(QuickTimeFault::kNoMovie);
        }
        if (m_header.movie.size > kMaxMovieBytes) {
            return Fail(QuickTimeFault::kMovieTooLarge);
        }
        m_header.movieBytes.resize(static_cast<std::size_t>(m_header.movie.size));
        if (!Read(m_header.movie.offset, m_header.movieBytes.data(), m_header.movieBytes.size())) {
            return false;
        }
        if (m_header.firstBox.type == kFtyp) {
            m_header.firstBytes.resize(
                static_cast<std::size_t>(std::min(m_header.firstBox.PayloadSize(), kLongHeader)));
            return Read(m_header.firstBox.PayloadOffset(), m_header.firstBytes.data(),
                        m_header.firstBytes.size());
        }
        return true;
    }

private:
    bool Fail(QuickTimeFault fault) {
        m_header.fault = fault;
        m_header.movieBytes.clear();
        m_header.firstBytes.clear();
        return false;
    }

    bool ReadFailed(int error) {
        m_header.readError = error != 0 ? error : EIO;
        return Fail(QuickTimeFault::kReadFailed);
    }

    // Reads exactly size bytes at offset, which the caller has checked to lie within the file.
    bool ReadExact(std::uint64_t offset, std::uint8_t* bytes, std::size_t size) {
        const int error = ReadExactlyAt(m_fd, offset, bytes, size);
        if (error > 0) {
            return ReadFailed(error);
        }
        // The file became shorter than when it was measured.
        return error < 0 ? Fail(QuickTimeFault::kCutShort) : true;
    }

    // The same, from the file's start where the bytes lie in it.
    bool Read(std::uint64_t offset, std::uint8_t* bytes, std::uint64_t size) {
        if (offset + size <= m_start.size()) {
            std::memcpy(bytes, m_start.data() + offset, static_cast<std::size_t>(size));
            return true;
        }
        return ReadExact(offset, bytes, static_cast<std::size_t>(size));
    }

    int m_fd;
    QuickTimeHeader& m_header;
    std::vector<std::uint8_t> m_start;
};

bool SameBox(const Box& a, const Box& b) {
    return a.type == b.type && a.offset == b.offset && a.header == b.header && a.size == b.size;
}

} // namespace

const std::uint8_t* QuickTimeHeader::MovieAt(std::uint64_t offset, std::uint64_t size) const {
    if (offset < movie.offset || offset - movie.offset > movieBytes.size() ||
        size > movieBytes.size() - (offset - movie.offset)) {
        return nullptr;
    }
    return movieBytes.data() + (offset - movie.offset);
}

QuickTimeHeader ReadQuickTimeHeader(int fd) {
    QuickTimeHeader header;
    HeaderReader(fd, header).Run();
    return header;
}

bool SameQuickTimeLayout(const QuickTimeHeader& a, const QuickTimeHeader& b) {
    return a.WasRead() && b.WasRead() && a.fileSize == b.fileSize && a.fragments == b.fragments &&
           SameBox(a.firstBox, b.firstBox) && SameBox(a.movie, b.movie) && a.movieBytes == b.movieBytes &&
           a.firstBytes == b.firstBytes;
}

bool BoxWalk::NextBox(std::uint64_t offset, std::uint64_t end, Box& box) {
    const std::uint64_t room = end - offset;
    const std::uint8_t* bytes = Bytes(offset, std::min(room, kLongHeader));
    if (bytes == nullptr) {
        return false;
    }
    const QuickTimeFault fault = ParseBoxHeader(bytes, offset, room, false, box);
    return fault == QuickTimeFault::kNone || Fail(fault);
}

bool BoxWalk::LenientBox(std::uint64_t offset, std::uint64_t end, Box& box) const {
    const std::uint64_t room = end - offset;
    const std::uint8_t* bytes = m_header.MovieAt(offset, std::min(room, kLongHeader));
    if (bytes == nullptr || room < 8) {
        return false;
    }
    const std::uint32_t size32 = Be32(bytes);
    box.type = Be32(bytes + 4);
    box.offset = offset;
    box.header = 8;
    if (size32 == 1) {
        if (room < kLongHeader) {
            return false;
        }
        box.header = kLongHeader;
        box.size = Be64(bytes + 8);
    } else {
        box.size = size32 == 0 ? room : size32;
    }
    return box.size >= box.header && box.size <= room;
}

} // namespace quarnix
