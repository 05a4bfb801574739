#include "MatroskaProjection.h"

#include <bit>
#include <cerrno>
#include <cstring>
#include <optional>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

extern "C" {
#include <libavutil/crc.h>
#include <libavutil/error.h>
}

namespace quarnix {

namespace {

// Element ids (with their length marker bits, as written in the file).
constexpr std::uint32_t kIdSegment = 0x18538067;
constexpr std::uint32_t kIdSeekHead = 0x114D9B74;
constexpr std::uint32_t kIdSeek = 0x4DBB;
constexpr std::uint32_t kIdSeekPosition = 0x53AC;
constexpr std::uint32_t kIdVoid = 0xEC;
constexpr std::uint32_t kIdCrc32 = 0xBF;
constexpr std::uint32_t kIdTracks = 0x1654AE6B;
constexpr std::uint32_t kIdTrackEntry = 0xAE;
constexpr std::uint32_t kIdTrackType = 0x83;
constexpr std::uint32_t kIdVideo = 0xE0;
constexpr std::uint32_t kIdProjection = 0x7670;
constexpr std::uint32_t kIdProjectionType = 0x7671;
constexpr std::uint32_t kIdProjectionPoseRoll = 0x7675;
constexpr std::uint32_t kIdCluster = 0x1F43B675;
constexpr std::uint64_t kTrackTypeVideo = 1;

// The header region read from the file: far more than any muxer's seek head, info and tracks need, but
// bounded so that a damaged file is never read whole.
constexpr std::size_t kFirstRead = 1 << 20;
constexpr std::size_t kLargestHeader = 64 << 20;

using Bytes = std::vector<std::uint8_t>;

struct Element {
    std::uint32_t id = 0;
    std::size_t start = 0;     // offset of the id in the buffer
    std::size_t dataStart = 0; // offset of the data
    std::uint64_t size = 0;    // data size
    bool unknownSize = false;
    std::size_t End() const { return dataStart + static_cast<std::size_t>(size); }
};

// Reads the element header at pos; the data itself may lie beyond the buffer.
std::optional<Element> ElementAt(const Bytes& buffer, std::size_t pos) {
    if (pos >= buffer.size() || buffer[pos] == 0) {
        return std::nullopt;
    }
    Element element;
    element.start = pos;
    const int idLength = std::countl_zero(buffer[pos]) + 1;
    if (idLength > 4 || pos + static_cast<std::size_t>(idLength) >= buffer.size()) {
        return std::nullopt;
    }
    for (int i = 0; i < idLength; ++i) {
        element.id = (element.id << 8) | buffer[pos + static_cast<std::size_t>(i)];
    }
    pos += static_cast<std::size_t>(idLength);
    if (buffer[pos] == 0) {
        return std::nullopt;
    }
    const int sizeLength = std::countl_zero(buffer[pos]) + 1;
    if (pos + static_cast<std::size_t>(sizeLength) > buffer.size()) {
        return std::nullopt;
    }
    std::uint64_t size = buffer[pos] & (0xFFu >> sizeLength);
    bool allOnes = size == (0xFFu >> sizeLength);
    for (int i = 1; i < sizeLength; ++i) {
        const std::uint8_t byte = buffer[pos + static_cast<std::size_t>(i)];
        size = (size << 8) | byte;
        allOnes = allOnes && byte == 0xFF;
    }
    element.dataStart = pos + static_cast<std::size_t>(sizeLength);
    element.unknownSize = allOnes;
    element.size = allOnes ? 0 : size;
    return element;
}

// The children of an element whose data lies wholly in the buffer.
std::optional<std::vector<Element>> ChildrenOf(const Bytes& buffer, const Element& parent) {
    if (parent.unknownSize || parent.End() > buffer.size()) {
        return std::nullopt;
    }
    std::vector<Element> children;
    std::size_t pos = parent.dataStart;
    while (pos < parent.End()) {
        std::optional<Element> child = ElementAt(buffer, pos);
        if (!child || child->unknownSize || child->End() > parent.End()) {
            return std::nullopt;
        }
        children.push_back(*child);
        pos = child->End();
    }
    return children;
}

std::uint64_t UnsignedValue(const Bytes& buffer, const Element& element) {
    std::uint64_t value = 0;
    for (std::size_t i = element.dataStart; i < element.End(); ++i) {
        value = (value << 8) | buffer[i];
    }
    return value;
}

void AppendId(Bytes& out, std::uint32_t id) {
    const int length = id > 0xFFFFFF ? 4 : id > 0xFFFF ? 3 : id > 0xFF ? 2 : 1;
    for (int i = length - 1; i >= 0; --i) {
        out.push_back(static_cast<std::uint8_t>(id >> (8 * i)));
    }
}

// The shortest size field for a value (the all-ones value of a length means "unknown" and is avoided).
void AppendSize(Bytes& out, std::uint64_t size) {
    int length = 1;
    while (length < 8 && size >= (1ULL << (7 * length)) - 1) {
        ++length;
    }
    const std::uint64_t marked = size | (1ULL << (7 * length));
    for (int i = length - 1; i >= 0; --i) {
        out.push_back(static_cast<std::uint8_t>(marked >> (8 * i)));
    }
}

Bytes MasterElement(std::uint32_t id, const Bytes& data) {
    Bytes out;
    AppendId(out, id);
    AppendSize(out, data.size());
    out.insert(out.end(), data.begin(), data.end());
    return out;
}

void AppendRange(Bytes& out, const Bytes& buffer, std::size_t from, std::size_t to) {
    out.insert(out.end(), buffer.begin() + static_cast<std::ptrdiff_t>(from),
               buffer.begin() + static_cast<std::ptrdiff_t>(to));
}

// Matroska's CRC-32 element: the IEEE CRC of the data that follows it in its parent, little-endian.
Bytes Crc32Element(const Bytes& covered) {
    const std::uint32_t crc =
        av_crc(av_crc_get_table(AV_CRC_32_IEEE_LE), UINT32_MAX, covered.data(), covered.size()) ^ UINT32_MAX;
    return {0xBF,
            0x84,
            static_cast<std::uint8_t>(crc),
            static_cast<std::uint8_t>(crc >> 8),
            static_cast<std::uint8_t>(crc >> 16),
            static_cast<std::uint8_t>(crc >> 24)};
}

// A level-1 element rebuilt from its children's bytes, with a fresh CRC-32 when it had one.
Bytes WithCrc(std::uint32_t id, bool hadCrc, const Bytes& children) {
    if (!hadCrc) {
        return MasterElement(id, children);
    }
    Bytes data = Crc32Element(children);
    data.insert(data.end(), children.begin(), children.end());
    return MasterElement(id, data);
}

// A Void element of exactly totalSize bytes (0, or at least 2).
Bytes VoidElement(std::size_t totalSize) {
    Bytes out;
    if (totalSize == 0) {
        return out;
    }
    out.push_back(0xEC);
    if (totalSize - 2 < 127) {
        out.push_back(static_cast<std::uint8_t>(0x80 | (totalSize - 2)));
    } else {
        const std::uint64_t marked = (totalSize - 9) | (1ULL << 56);
        for (int i = 7; i >= 0; --i) {
            out.push_back(static_cast<std::uint8_t>(marked >> (8 * i)));
        }
    }
    out.resize(totalSize, 0);
    return out;
}

// The Tracks element with the Projection in every video track; nullopt when it cannot be parsed.
std::optional<Bytes> TracksWithProjection(const Bytes& buffer, const Element& tracks,
                                          const Bytes& projection) {
    std::optional<std::vector<Element>> entries = ChildrenOf(buffer, tracks);
    if (!entries) {
        return std::nullopt;
    }
    bool hadCrc = false;
    Bytes children;
    for (const Element& entry : *entries) {
        if (entry.id == kIdCrc32) {
            hadCrc = true;
            continue;
        }
        std::optional<std::vector<Element>> fields;
        if (entry.id == kIdTrackEntry) {
            fields = ChildrenOf(buffer, entry);
        }
        bool isVideo = false;
        if (fields) {
            for (const Element& field : *fields) {
                isVideo =
                    isVideo || (field.id == kIdTrackType && UnsignedValue(buffer, field) == kTrackTypeVideo);
            }
        }
        if (!isVideo) {
            AppendRange(children, buffer, entry.start, entry.End());
            continue;
        }
        Bytes entryData;
        for (const Element& field : *fields) {
            if (field.id != kIdVideo) {
                AppendRange(entryData, buffer, field.start, field.End());
                continue;
            }
            std::optional<std::vector<Element>> videoFields = ChildrenOf(buffer, field);
            if (!videoFields) {
                return std::nullopt;
            }
            Bytes videoData;
            for (const Element& videoField : *videoFields) {
                if (videoField.id != kIdProjection) {
                    AppendRange(videoData, buffer, videoField.start, videoField.End());
                }
            }
            videoData.insert(videoData.end(), projection.begin(), projection.end());
            const Bytes video = MasterElement(kIdVideo, videoData);
            entryData.insert(entryData.end(), video.begin(), video.end());
        }
        const Bytes rebuilt = MasterElement(kIdTrackEntry, entryData);
        children.insert(children.end(), rebuilt.begin(), rebuilt.end());
    }
    return WithCrc(kIdTracks, hadCrc, children);
}

int ReadAt(int fd, Bytes& buffer, std::size_t length) {
    buffer.resize(length);
    std::size_t done = 0;
    while (done < length) {
        const ssize_t n = pread(fd, buffer.data() + done, length - done, static_cast<off_t>(done));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return AVERROR(errno);
        }
        if (n == 0) {
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    buffer.resize(done);
    return 0;
}

int WriteAt(int fd, const std::uint8_t* data, std::size_t length, std::size_t offset) {
    std::size_t done = 0;
    while (done < length) {
        const ssize_t n = pwrite(fd, data + done, length - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return n < 0 ? AVERROR(errno) : AVERROR(EIO);
        }
        done += static_cast<std::size_t>(n);
    }
    return 0;
}

struct FileDescriptor {
    int fd = -1;
    ~FileDescriptor() {
        if (fd >= 0) {
            close(fd);
        }
    }
};

// The layout of the header: the segment's data start, its seek head, the last Void before Tracks, Tracks.
struct HeaderLayout {
    std::size_t segmentData = 0;
    std::optional<Element> seekHead, spare, tracks;
};

// Walks the segment's level-1 elements up to Tracks. needed is set to the bytes the buffer must hold.
std::optional<HeaderLayout> FindLayout(const Bytes& buffer, std::size_t& needed) {
    std::optional<Element> ebml = ElementAt(buffer, 0);
    if (!ebml || ebml->id != 0x1A45DFA3 || ebml->unknownSize) {
        return std::nullopt;
    }
    std::optional<Element> segment = ElementAt(buffer, ebml->End());
    if (!segment || segment->id != kIdSegment) {
        return std::nullopt;
    }
    HeaderLayout layout;
    layout.segmentData = segment->dataStart;
    std::size_t pos = segment->dataStart;
    while (true) {
        std::optional<Element> element = ElementAt(buffer, pos);
        if (!element || element->unknownSize || element->id == kIdCluster) {
            return std::nullopt;
        }
        if (element->id == kIdSeekHead && !layout.seekHead) {
            layout.seekHead = element;
        } else if (element->id == kIdVoid) {
            layout.spare = element;
        } else if (element->id == kIdTracks) {
            layout.tracks = element;
            needed = element->End();
            return layout;
        }
        pos = element->End();
        if (pos > kLargestHeader) {
            return std::nullopt;
        }
    }
}

} // namespace

std::vector<std::uint8_t> ProjectionElement(int clockwiseDegrees) {
    // A positive roll turns the picture counter-clockwise; the value stays within -180..180.
    float roll = static_cast<float>(-(clockwiseDegrees % 360));
    if (roll < -180.0f) {
        roll += 360.0f;
    }
    const std::uint32_t bits = std::bit_cast<std::uint32_t>(roll);
    Bytes data = {0x76, 0x71, 0x81, 0x00, 0x76, 0x75, 0x84};
    for (int i = 3; i >= 0; --i) {
        data.push_back(static_cast<std::uint8_t>(bits >> (8 * i)));
    }
    static_assert(kIdProjectionType == 0x7671 && kIdProjectionPoseRoll == 0x7675);
    return MasterElement(kIdProjection, data);
}

int AddMatroskaProjection(const std::string& utf8Path, int clockwiseDegrees) {
    if (clockwiseDegrees % 360 == 0) {
        return 0;
    }
    FileDescriptor file;
    file.fd = open(utf8Path.c_str(), O_RDWR | O_CLOEXEC);
    if (file.fd < 0) {
        return AVERROR(errno);
    }
    Bytes buffer;
    if (int rc = ReadAt(file.fd, buffer, kFirstRead); rc < 0) {
        return rc;
    }
    std::size_t needed = 0;
    std::optional<HeaderLayout> layout = FindLayout(buffer, needed);
    if (layout && needed > buffer.size() && needed <= kLargestHeader) {
        if (int rc = ReadAt(file.fd, buffer, needed); rc < 0) {
            return rc;
        }
        layout = FindLayout(buffer, needed);
    }
    if (!layout || !layout->tracks || needed > buffer.size()) {
        return AVERROR_INVALIDDATA;
    }
    if (!layout->spare || !layout->seekHead || layout->spare->start < layout->seekHead->End() ||
        layout->spare->start > layout->tracks->start) {
        return AVERROR(ENOSPC);
    }
    const Element& tracks = *layout->tracks;
    const Element& spare = *layout->spare;
    std::optional<Bytes> newTracks =
        TracksWithProjection(buffer, tracks, ProjectionElement(clockwiseDegrees));
    if (!newTracks) {
        return AVERROR_INVALIDDATA;
    }
    const std::size_t oldTracksSize = tracks.End() - tracks.start;
    const std::size_t spareSize = spare.End() - spare.start;
    if (newTracks->size() < oldTracksSize) {
        return AVERROR_INVALIDDATA; // a longer Projection was replaced; never expected from the muxer
    }
    const std::size_t growth = newTracks->size() - oldTracksSize;
    if (growth > spareSize || spareSize - growth == 1) {
        return AVERROR(ENOSPC);
    }

    // The elements between the Void and Tracks, and Tracks itself, move earlier by the growth: the seek
    // head's positions of them follow.
    std::optional<std::vector<Element>> seeks = ChildrenOf(buffer, *layout->seekHead);
    if (!seeks) {
        return AVERROR_INVALIDDATA;
    }
    Bytes seekHead(buffer.begin() + static_cast<std::ptrdiff_t>(layout->seekHead->start),
                   buffer.begin() + static_cast<std::ptrdiff_t>(layout->seekHead->End()));
    bool seekHeadHasCrc = false;
    for (const Element& seek : *seeks) {
        seekHeadHasCrc = seekHeadHasCrc || seek.id == kIdCrc32;
        if (seek.id != kIdSeek) {
            continue;
        }
        std::optional<std::vector<Element>> fields = ChildrenOf(buffer, seek);
        if (!fields) {
            return AVERROR_INVALIDDATA;
        }
        for (const Element& field : *fields) {
            if (field.id != kIdSeekPosition || field.size == 0 || field.size > 8) {
                continue;
            }
            const std::uint64_t position = UnsignedValue(buffer, field);
            const std::uint64_t absolute = layout->segmentData + position;
            if (absolute < spare.End() || absolute >= tracks.End()) {
                continue;
            }
            // The smaller value is written in the same number of bytes, with leading zeros.
            std::uint64_t moved = position - growth;
            for (std::size_t i = field.End(); i > field.dataStart; --i) {
                seekHead[i - 1 - layout->seekHead->start] = static_cast<std::uint8_t>(moved);
                moved >>= 8;
            }
        }
    }
    if (seekHeadHasCrc) {
        // The CRC element is the seek head's first child and covers the rest of its data.
        const std::size_t headerLength = layout->seekHead->dataStart - layout->seekHead->start;
        const Element& crc = seeks->front();
        if (crc.id != kIdCrc32 || crc.size != 4) {
            return AVERROR_INVALIDDATA;
        }
        const std::size_t covered = crc.End() - layout->seekHead->start;
        const Bytes rest(seekHead.begin() + static_cast<std::ptrdiff_t>(covered), seekHead.end());
        const Bytes fresh = Crc32Element(rest);
        std::memcpy(seekHead.data() + headerLength, fresh.data(), fresh.size());
    }

    Bytes region = VoidElement(spareSize - growth);
    AppendRange(region, buffer, spare.End(), tracks.start);
    region.insert(region.end(), newTracks->begin(), newTracks->end());
    if (region.size() != tracks.End() - spare.start) {
        return AVERROR_INVALIDDATA;
    }
    if (int rc = WriteAt(file.fd, region.data(), region.size(), spare.start); rc < 0) {
        return rc;
    }
    if (int rc = WriteAt(file.fd, seekHead.data(), seekHead.size(), layout->seekHead->start); rc < 0) {
        return rc;
    }
    return close(std::exchange(file.fd, -1)) < 0 ? AVERROR(errno) : 0;
}

} // namespace quarnix
