// Reading and writing EBML, the element format of Matroska and WebM: element headers parsed from a byte
// buffer, and the few element kinds the rotation writes (masters, unsigned integers, strings, CRC-32, Void).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace quarnix::ebml {

using Bytes = std::vector<std::uint8_t>;

// Element ids, with their length marker bits, as written in the file.
inline constexpr std::uint32_t kIdEbml = 0x1A45DFA3;
inline constexpr std::uint32_t kIdDocType = 0x4282;
inline constexpr std::uint32_t kIdSegment = 0x18538067;
inline constexpr std::uint32_t kIdSeekHead = 0x114D9B74;
inline constexpr std::uint32_t kIdSeek = 0x4DBB;
inline constexpr std::uint32_t kIdSeekId = 0x53AB;
inline constexpr std::uint32_t kIdSeekPosition = 0x53AC;
inline constexpr std::uint32_t kIdVoid = 0xEC;
inline constexpr std::uint32_t kIdCrc32 = 0xBF;
inline constexpr std::uint32_t kIdInfo = 0x1549A966;
inline constexpr std::uint32_t kIdTracks = 0x1654AE6B;
inline constexpr std::uint32_t kIdTrackEntry = 0xAE;
inline constexpr std::uint32_t kIdTrackUid = 0x73C5;
inline constexpr std::uint32_t kIdTrackType = 0x83;
inline constexpr std::uint32_t kIdVideo = 0xE0;
inline constexpr std::uint32_t kIdProjection = 0x7670;
inline constexpr std::uint32_t kIdProjectionType = 0x7671;
inline constexpr std::uint32_t kIdProjectionPoseRoll = 0x7675;
inline constexpr std::uint32_t kIdCluster = 0x1F43B675;
inline constexpr std::uint32_t kIdCues = 0x1C53BB6B;
inline constexpr std::uint32_t kIdTags = 0x1254C367;
inline constexpr std::uint32_t kIdTag = 0x7373;
inline constexpr std::uint32_t kIdTargets = 0x63C0;
inline constexpr std::uint32_t kIdTagTrackUid = 0x63C5;
inline constexpr std::uint32_t kIdSimpleTag = 0x67C8;
inline constexpr std::uint32_t kIdTagName = 0x45A3;
inline constexpr std::uint32_t kIdTagString = 0x4487;
inline constexpr std::uint64_t kTrackTypeVideo = 1;

// The longest element header: a 4-byte id and an 8-byte size.
inline constexpr std::size_t kLongestHeader = 12;

struct Element {
    std::uint32_t id = 0;
    std::size_t start = 0;     // offset of the id in the buffer
    std::size_t dataStart = 0; // offset of the data
    std::uint64_t size = 0;    // data size (0 when unknown)
    bool unknownSize = false;
    std::size_t End() const { return dataStart + static_cast<std::size_t>(size); }
    // The length of the size field as written (a rebuilt element keeps it when its new size fits).
    int SizeLength() const;
};

// The length of an id as written (1 to 4 bytes).
int IdLength(std::uint32_t id);

// Reads the element header at pos; the data itself may lie beyond the buffer.
std::optional<Element> ElementAt(const Bytes& buffer, std::size_t pos);

// The children of an element whose data lies wholly in the buffer, each with a known size that stays
// within the parent; nullopt otherwise.
std::optional<std::vector<Element>> ChildrenOf(const Bytes& buffer, const Element& parent);

// The value of an unsigned-integer element (at most 8 bytes; longer ones read as their last 8).
std::uint64_t UnsignedValue(const Bytes& buffer, const Element& element);

// The data of an element as text.
std::string_view StringValue(const Bytes& buffer, const Element& element);

void AppendId(Bytes& out, std::uint32_t id);
// The shortest size field for the value, or minLength bytes when longer (the all-ones value of a length
// means "unknown" and is avoided).
void AppendSize(Bytes& out, std::uint64_t size, int minLength = 1);
void AppendRange(Bytes& out, const Bytes& buffer, std::size_t from, std::size_t to);
void AppendBytes(Bytes& out, const Bytes& more);

// A master element; its size field is sizeLength bytes long when the size fits, else the shortest.
Bytes MasterElement(std::uint32_t id, const Bytes& data, int sizeLength = 1);
// An unsigned-integer element in the shortest form, or minLength bytes when longer.
Bytes UnsignedElement(std::uint32_t id, std::uint64_t value, std::size_t minLength = 1);
Bytes StringElement(std::uint32_t id, std::string_view text);

// Matroska's CRC-32 element: the IEEE CRC of the data that follows it in its parent, little-endian.
Bytes Crc32Element(const Bytes& covered);
// A master element rebuilt from its children's bytes, with a fresh CRC-32 first when it had one.
Bytes WithCrc(std::uint32_t id, bool hadCrc, const Bytes& children, int sizeLength = 1);
// A Void element of exactly totalSize bytes (0, or at least 2).
Bytes VoidElement(std::size_t totalSize);

} // namespace quarnix::ebml
