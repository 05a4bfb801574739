#include "engine/inplace/matroska/MatroskaTags.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <set>

namespace quarnix {

using ebml::Bytes;
using ebml::Element;

namespace {

constexpr std::uint32_t kIdTagEditionUid = 0x63C9;
constexpr std::uint32_t kIdTagChapterUid = 0x63C4;
constexpr std::uint32_t kIdTagAttachmentUid = 0x63C6;
constexpr std::string_view kRotateTagName = "ROTATE";

bool SameText(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::toupper(static_cast<unsigned char>(x)) ==
                      std::toupper(static_cast<unsigned char>(y));
           });
}

Bytes RotateSimpleTag(const std::string& value) {
    Bytes data = ebml::StringElement(ebml::kIdTagName, kRotateTagName);
    ebml::AppendBytes(data, ebml::StringElement(ebml::kIdTagString, value));
    return ebml::MasterElement(ebml::kIdSimpleTag, data);
}

// An existing ROTATE SimpleTag with the new value: its name, language, default flag and nested tags stay as
// they are, only its string changes (a missing string is added after the name).
std::optional<Bytes> RotateSimpleTagWithValue(const Bytes& buffer, const Element& simpleTag,
                                              const std::string& value) {
    std::optional<std::vector<Element>> fields = ebml::ChildrenOf(buffer, simpleTag);
    if (!fields) {
        return std::nullopt;
    }
    Bytes data;
    bool hadCrc = false;
    bool wrote = false;
    for (const Element& field : *fields) {
        if (field.id == ebml::kIdCrc32) {
            hadCrc = true;
        } else if (field.id == ebml::kIdTagString) {
            if (!wrote) {
                ebml::AppendBytes(data, ebml::StringElement(ebml::kIdTagString, value));
                wrote = true;
            }
        } else {
            ebml::AppendRange(data, buffer, field.start, field.End());
            if (field.id == ebml::kIdTagName && !wrote) {
                ebml::AppendBytes(data, ebml::StringElement(ebml::kIdTagString, value));
                wrote = true;
            }
        }
    }
    return ebml::WithCrc(ebml::kIdSimpleTag, hadCrc, data, simpleTag.SizeLength());
}

// The children of a Tag about a video track, with its ROTATE value.
struct RotatedTag {
    Bytes data;
    bool hadCrc = false;
    bool changed = false;
    int simpleTags = 0;
};

// The fields of a Tag about a video track with its ROTATE value: the track's first tag (owner) keeps one
// ROTATE, of the value (a ROTATE of another value gets it), or gets one; its later tags lose theirs.
// nullopt when a ROTATE cannot be parsed.
std::optional<RotatedTag> TagWithRotation(const Bytes& buffer, const std::vector<Element>& fields,
                                          const std::string& value, bool owner) {
    RotatedTag tag;
    bool wrote = !owner;
    for (const Element& field : fields) {
        if (field.id == ebml::kIdCrc32) {
            tag.hadCrc = true;
            continue;
        }
        const std::optional<std::string_view> rotate =
            field.id == ebml::kIdSimpleTag ? RotateValue(buffer, field) : std::nullopt;
        if (!rotate) {
            tag.simpleTags += field.id == ebml::kIdSimpleTag ? 1 : 0;
            ebml::AppendRange(tag.data, buffer, field.start, field.End());
            continue;
        }
        if (!wrote && *rotate == value) {
            ebml::AppendRange(tag.data, buffer, field.start, field.End());
        } else if (!wrote) {
            std::optional<Bytes> replaced = RotateSimpleTagWithValue(buffer, field, value);
            if (!replaced) {
                return std::nullopt;
            }
            ebml::AppendBytes(tag.data, *replaced);
            tag.changed = true;
        } else {
            tag.changed = true; // a second ROTATE of the same track is dropped
            continue;
        }
        wrote = true;
        ++tag.simpleTags;
    }
    if (!wrote) {
        ebml::AppendBytes(tag.data, RotateSimpleTag(value));
        tag.changed = true;
        ++tag.simpleTags;
    }
    return tag;
}

// Appends the Tag: as it was when unchanged, rebuilt when changed, not at all when left without any simple
// tag (that is no tag).
void AppendRotatedTag(const Bytes& buffer, const Element& original, const RotatedTag& tag, Bytes& out) {
    if (!tag.changed) {
        ebml::AppendRange(out, buffer, original.start, original.End());
    } else if (tag.simpleTags > 0) {
        ebml::AppendBytes(out, ebml::WithCrc(ebml::kIdTag, tag.hadCrc, tag.data, original.SizeLength()));
    }
}

} // namespace

std::optional<std::uint64_t> TrackOfTag(const Bytes& buffer, const std::vector<Element>& fields) {
    for (const Element& field : fields) {
        if (field.id != ebml::kIdTargets) {
            continue;
        }
        std::optional<std::vector<Element>> targets = ebml::ChildrenOf(buffer, field);
        if (!targets) {
            return std::nullopt;
        }
        std::optional<std::uint64_t> track;
        int named = 0;
        for (const Element& target : *targets) {
            if (target.id == ebml::kIdTagTrackUid) {
                track = ebml::UnsignedValue(buffer, target);
                ++named;
            } else if (target.id == kIdTagEditionUid || target.id == kIdTagChapterUid ||
                       target.id == kIdTagAttachmentUid) {
                ++named;
            }
        }
        return named == 1 ? track : std::nullopt;
    }
    return std::nullopt;
}

std::optional<std::string_view> RotateValue(const Bytes& buffer, const Element& simpleTag) {
    std::optional<std::vector<Element>> fields = ebml::ChildrenOf(buffer, simpleTag);
    if (!fields) {
        return std::nullopt;
    }
    bool isRotate = false;
    std::string_view value;
    for (const Element& field : *fields) {
        if (field.id == ebml::kIdTagName) {
            isRotate = SameText(ebml::StringValue(buffer, field), kRotateTagName);
        } else if (field.id == ebml::kIdTagString) {
            value = ebml::StringValue(buffer, field);
        }
    }
    return isRotate ? std::optional<std::string_view>(value) : std::nullopt;
}

Bytes NewRotateTag(std::uint64_t trackUid, const std::string& value) {
    Bytes data = ebml::MasterElement(ebml::kIdTargets, ebml::UnsignedElement(ebml::kIdTagTrackUid, trackUid));
    ebml::AppendBytes(data, RotateSimpleTag(value));
    return ebml::MasterElement(ebml::kIdTag, data);
}

std::optional<Bytes> TagsWithRotation(const Bytes& buffer, const Element& tags,
                                      const std::vector<std::pair<std::uint64_t, std::string>>& values) {
    std::optional<std::vector<Element>> children = ebml::ChildrenOf(buffer, tags);
    if (!children) {
        return std::nullopt;
    }
    const std::map<std::uint64_t, std::string> videos(values.begin(), values.end());
    std::set<std::uint64_t> done;
    bool hadCrc = false;
    bool changed = false;
    Bytes out;
    for (const Element& child : *children) {
        if (child.id == ebml::kIdCrc32) {
            hadCrc = true;
            continue;
        }
        std::optional<std::vector<Element>> fields;
        std::optional<std::uint64_t> track;
        if (child.id == ebml::kIdTag) {
            fields = ebml::ChildrenOf(buffer, child);
            if (!fields) {
                return std::nullopt;
            }
            track = TrackOfTag(buffer, *fields);
        }
        if (!track || !videos.contains(*track)) {
            ebml::AppendRange(out, buffer, child.start, child.End());
            continue;
        }
        const bool owner = done.insert(*track).second;
        std::optional<RotatedTag> rotated = TagWithRotation(buffer, *fields, videos.at(*track), owner);
        if (!rotated) {
            return std::nullopt;
        }
        changed = changed || rotated->changed;
        AppendRotatedTag(buffer, child, *rotated, out);
    }
    for (const auto& [uid, value] : values) {
        if (done.insert(uid).second) {
            ebml::AppendBytes(out, NewRotateTag(uid, value));
            changed = true;
        }
    }
    if (!changed) {
        return Bytes(buffer.begin() + static_cast<std::ptrdiff_t>(tags.start),
                     buffer.begin() + static_cast<std::ptrdiff_t>(tags.End()));
    }
    return ebml::WithCrc(ebml::kIdTags, hadCrc, out, tags.SizeLength());
}

} // namespace quarnix
