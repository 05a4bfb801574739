#include "engine/inplace/matroska/MatroskaSeekHead.h"

namespace quarnix {

using ebml::Bytes;
using ebml::Element;

namespace {

// Appends a Seek element to out with its position mapped; its bytes as they were when the position stays.
// False when it cannot be parsed or its position maps to nothing.
bool AppendMappedSeek(const Bytes& buffer, const Element& seek, const SeekPositionMap& map, Bytes& out,
                      bool& changed) {
    std::optional<std::vector<Element>> fields = ebml::ChildrenOf(buffer, seek);
    if (!fields) {
        return false;
    }
    bool hadCrc = false;
    bool seekChanged = false;
    Bytes seekData;
    for (const Element& field : *fields) {
        if (field.id == ebml::kIdCrc32) {
            hadCrc = true;
            continue;
        }
        if (field.id != ebml::kIdSeekPosition) {
            ebml::AppendRange(seekData, buffer, field.start, field.End());
            continue;
        }
        const std::uint64_t old = ebml::UnsignedValue(buffer, field);
        const std::optional<std::uint64_t> moved = map(old);
        if (!moved) {
            return false;
        }
        seekChanged = seekChanged || *moved != old;
        // The same number of bytes as before where the value fits.
        ebml::AppendBytes(seekData, ebml::UnsignedElement(ebml::kIdSeekPosition, *moved,
                                                          static_cast<std::size_t>(field.size)));
    }
    if (!seekChanged) {
        ebml::AppendRange(out, buffer, seek.start, seek.End());
        return true;
    }
    ebml::AppendBytes(out, ebml::WithCrc(ebml::kIdSeek, hadCrc, seekData, seek.SizeLength()));
    changed = true;
    return true;
}

void AppendNewSeek(Bytes& out, const AddedSeek& seek) {
    Bytes idBytes;
    ebml::AppendId(idBytes, seek.first);
    Bytes seekData = ebml::MasterElement(ebml::kIdSeekId, idBytes);
    ebml::AppendBytes(seekData, ebml::UnsignedElement(ebml::kIdSeekPosition, seek.second));
    ebml::AppendBytes(out, ebml::MasterElement(ebml::kIdSeek, seekData));
}

} // namespace

std::optional<Bytes> RebuildSeekHead(const Bytes& buffer, const Element& seekHead, const SeekPositionMap& map,
                                     const std::vector<AddedSeek>& added) {
    std::optional<std::vector<Element>> children = ebml::ChildrenOf(buffer, seekHead);
    if (!children) {
        return std::nullopt;
    }
    bool hadCrc = false;
    bool changed = !added.empty();
    Bytes out;
    for (const Element& child : *children) {
        if (child.id == ebml::kIdCrc32) {
            hadCrc = true;
        } else if (child.id != ebml::kIdSeek) {
            ebml::AppendRange(out, buffer, child.start, child.End());
        } else if (!AppendMappedSeek(buffer, child, map, out, changed)) {
            return std::nullopt;
        }
    }
    for (const AddedSeek& seek : added) {
        AppendNewSeek(out, seek);
    }
    if (!changed) {
        return Bytes(buffer.begin() + static_cast<std::ptrdiff_t>(seekHead.start),
                     buffer.begin() + static_cast<std::ptrdiff_t>(seekHead.End()));
    }
    return ebml::WithCrc(ebml::kIdSeekHead, hadCrc, out, seekHead.SizeLength());
}

} // namespace quarnix
