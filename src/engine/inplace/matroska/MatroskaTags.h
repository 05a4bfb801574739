// The ROTATE tags of a Matroska file: which track a tag is about, reading a ROTATE value, and the Tags
// element rewritten so that every video track carries exactly one ROTATE tag of a value.
#pragma once

#include "engine/inplace/matroska/Ebml.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quarnix {

// The one track a Tag (given by its fields) is about: its targets name exactly one track and nothing else.
std::optional<std::uint64_t> TrackOfTag(const ebml::Bytes& buffer, const std::vector<ebml::Element>& fields);

// The value of a SimpleTag named ROTATE (any case), nullopt for any other SimpleTag.
std::optional<std::string_view> RotateValue(const ebml::Bytes& buffer, const ebml::Element& simpleTag);

// A Tag about one track holding only its ROTATE value.
ebml::Bytes NewRotateTag(std::uint64_t trackUid, const std::string& value);

// The Tags element with exactly one ROTATE tag for every video track (TrackUID, value): an existing one
// with that value stays as it is, one with another value gets the new value and keeps its other children
// (language, nested tags), doubles are dropped, and a track without one gets it in its first tag (or in a
// new tag). Returns the element's bytes unchanged when nothing needs to change; nullopt when it cannot be
// parsed.
std::optional<ebml::Bytes> TagsWithRotation(const ebml::Bytes& buffer, const ebml::Element& tags,
                                            const std::vector<std::pair<std::uint64_t, std::string>>& values);

} // namespace quarnix
