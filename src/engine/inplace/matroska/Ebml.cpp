#include "engine/inplace/matroska/Ebml.h"

#include <algorithm>
#include <array>
#include <bit>

namespace quarnix::ebml {

namespace {

// The CRC-32 of IEEE 802.3 in its reflected form (polynomial 0xEDB88320), which EBML's CRC-32 element
// holds: a 256-entry table made once at compile time. Written here rather than taken from libavutil so that
// marking a Matroska file in place needs no media library.
constexpr std::array<std::uint32_t, 256> kCrcTable = [] {
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t n = 0; n < table.size(); ++n) {
        std::uint32_t value = n;
        for (int bit = 0; bit < 8; ++bit) {
            value = (value & 1u) != 0 ? (value >> 1) ^ 0xEDB88320u : value >> 1;
        }
        table[n] = value;
    }
    return table;
}();

std::uint32_t Crc32(const Bytes& bytes) {
    std::uint32_t crc = UINT32_MAX;
    for (const std::uint8_t byte : bytes) {
        crc = kCrcTable[(crc ^ byte) & 0xffu] ^ (crc >> 8);
    }
    return crc ^ UINT32_MAX;
}

} // namespace

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
    // A size that cannot be an offset in any file is damage, never data.
    if (element.size > (std::uint64_t{1} << 56)) {
        return std::nullopt;
    }
    return element;
}

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
    for (std::size_t i = element.dataStart; i < element.End() && i < buffer.size(); ++i) {
        value = (value << 8) | buffer[i];
    }
    return value;
}

std::string_view StringValue(const Bytes& buffer, const Element& element) {
    if (element.End() > buffer.size()) {
        return {};
    }
    std::string_view text(reinterpret_cast<const char*>(buffer.data()) + element.dataStart,
                          static_cast<std::size_t>(element.size));
    // Strings may be padded with zero bytes.
    const std::size_t end = text.find('\0');
    return end == std::string_view::npos ? text : text.substr(0, end);
}

int IdLength(std::uint32_t id) {
    return id > 0xFFFFFF ? 4 : id > 0xFFFF ? 3 : id > 0xFF ? 2 : 1;
}

int Element::SizeLength() const {
    return static_cast<int>(dataStart - start) - IdLength(id);
}

void AppendId(Bytes& out, std::uint32_t id) {
    const int length = IdLength(id);
    for (int i = length - 1; i >= 0; --i) {
        out.push_back(static_cast<std::uint8_t>(id >> (8 * i)));
    }
}

void AppendSize(Bytes& out, std::uint64_t size, int minLength) {
    int length = minLength < 1 ? 1 : minLength > 8 ? 8 : minLength;
    while (length < 8 && size >= (1ULL << (7 * length)) - 1) {
        ++length;
    }
    const std::uint64_t marked = size | (1ULL << (7 * length));
    for (int i = length - 1; i >= 0; --i) {
        out.push_back(static_cast<std::uint8_t>(marked >> (8 * i)));
    }
}

void AppendRange(Bytes& out, const Bytes& buffer, std::size_t from, std::size_t to) {
    out.insert(out.end(), buffer.begin() + static_cast<std::ptrdiff_t>(from),
               buffer.begin() + static_cast<std::ptrdiff_t>(to));
}

void AppendBytes(Bytes& out, const Bytes& more) {
    out.insert(out.end(), more.begin(), more.end());
}

Bytes MasterElement(std::uint32_t id, const Bytes& data, int sizeLength) {
    Bytes out;
    AppendId(out, id);
    AppendSize(out, data.size(), sizeLength);
    AppendBytes(out, data);
    return out;
}

Bytes UnsignedElement(std::uint32_t id, std::uint64_t value, std::size_t minLength) {
    std::size_t length = 1;
    while (length < 8 && (value >> (8 * length)) != 0) {
        ++length;
    }
    length = std::max(length, std::min<std::size_t>(minLength, 8));
    Bytes data;
    for (std::size_t i = length; i > 0; --i) {
        data.push_back(static_cast<std::uint8_t>(value >> (8 * (i - 1))));
    }
    return MasterElement(id, data);
}

Bytes StringElement(std::uint32_t id, std::string_view text) {
    return MasterElement(id, Bytes(text.begin(), text.end()));
}

Bytes Crc32Element(const Bytes& covered) {
    const std::uint32_t crc = Crc32(covered);
    return {0xBF,
            0x84,
            static_cast<std::uint8_t>(crc),
            static_cast<std::uint8_t>(crc >> 8),
            static_cast<std::uint8_t>(crc >> 16),
            static_cast<std::uint8_t>(crc >> 24)};
}

Bytes WithCrc(std::uint32_t id, bool hadCrc, const Bytes& children, int sizeLength) {
    if (!hadCrc) {
        return MasterElement(id, children, sizeLength);
    }
    Bytes data = Crc32Element(children);
    AppendBytes(data, children);
    return MasterElement(id, data, sizeLength);
}

Bytes VoidElement(std::size_t totalSize) {
    Bytes out;
    if (totalSize == 0) {
        return out;
    }
    out.push_back(static_cast<std::uint8_t>(kIdVoid));
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

} // namespace quarnix::ebml
