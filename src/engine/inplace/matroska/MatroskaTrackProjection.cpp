#include "engine/inplace/matroska/MatroskaTrackProjection.h"

#include "engine/Rotation.h"

#include <algorithm>
#include <bit>
#include <cmath>

namespace quarnix {

using ebml::Bytes;
using ebml::Element;

namespace {

// The ProjectionPoseRoll element for a clockwise angle.
Bytes RollElement(int clockwiseDegrees) {
    const std::uint32_t bits = std::bit_cast<std::uint32_t>(RollFor(clockwiseDegrees));
    Bytes data;
    for (int i = 3; i >= 0; --i) {
        data.push_back(static_cast<std::uint8_t>(bits >> (8 * i)));
    }
    return ebml::MasterElement(ebml::kIdProjectionPoseRoll, data);
}

// An existing Projection with the new roll: everything else it holds stays (a spherical video stays
// spherical); its old roll and CRC-32 are dropped.
std::optional<Bytes> ProjectionWithRoll(const Bytes& buffer, const Element& projection,
                                        int clockwiseDegrees) {
    std::optional<std::vector<Element>> fields = ebml::ChildrenOf(buffer, projection);
    if (!fields) {
        return std::nullopt;
    }
    Bytes data;
    for (const Element& field : *fields) {
        if (field.id != ebml::kIdProjectionPoseRoll && field.id != ebml::kIdCrc32) {
            ebml::AppendRange(data, buffer, field.start, field.End());
        }
    }
    ebml::AppendBytes(data, RollElement(clockwiseDegrees));
    return ebml::MasterElement(ebml::kIdProjection, data);
}

// The Video element of a video track with the rotation: an existing Projection keeps everything but its
// roll, a missing one is added as a flat one; doubles are dropped.
std::optional<Bytes> VideoWithProjection(const Bytes& buffer, const Element& video, int clockwiseDegrees) {
    std::optional<std::vector<Element>> videoFields = ebml::ChildrenOf(buffer, video);
    if (!videoFields) {
        return std::nullopt;
    }
    Bytes videoData;
    bool projected = false;
    for (const Element& videoField : *videoFields) {
        if (videoField.id != ebml::kIdProjection) {
            ebml::AppendRange(videoData, buffer, videoField.start, videoField.End());
            continue;
        }
        if (projected) {
            continue;
        }
        std::optional<Bytes> projection = ProjectionWithRoll(buffer, videoField, clockwiseDegrees);
        if (!projection) {
            return std::nullopt;
        }
        ebml::AppendBytes(videoData, *projection);
        projected = true;
    }
    if (!projected) {
        ebml::AppendBytes(videoData, ProjectionElement(clockwiseDegrees));
    }
    return ebml::MasterElement(ebml::kIdVideo, videoData);
}

// A video track entry (given by its fields) with the rotation in its Video element; nullopt when it has
// not exactly one Video element (the picture description, where the Projection belongs) or that one
// cannot be parsed.
std::optional<Bytes> EntryWithProjection(const Bytes& buffer, const std::vector<Element>& fields,
                                         int clockwiseDegrees) {
    const auto videoElements = std::count_if(fields.begin(), fields.end(),
                                             [](const Element& field) { return field.id == ebml::kIdVideo; });
    if (videoElements != 1) {
        return std::nullopt;
    }
    Bytes entryData;
    for (const Element& field : fields) {
        if (field.id != ebml::kIdVideo) {
            ebml::AppendRange(entryData, buffer, field.start, field.End());
            continue;
        }
        std::optional<Bytes> video = VideoWithProjection(buffer, field, clockwiseDegrees);
        if (!video) {
            return std::nullopt;
        }
        ebml::AppendBytes(entryData, *video);
    }
    return ebml::MasterElement(ebml::kIdTrackEntry, entryData);
}

// The clockwise angle a track's Projection shows now (0 without one, or with one that cannot be read).
int CurrentClockwise(const Bytes& buffer, const std::vector<Element>& trackFields) {
    const std::vector<double> rolls = ProjectionRolls(buffer, trackFields);
    return rolls.empty() || std::abs(rolls.front()) > 360.0 ? 0 : ClockwiseOfRoll(rolls.front());
}

// The roll a Projection holds: 0 without one, 1000 (which no angle gives) when it cannot be read.
double RollOf(const Bytes& buffer, const Element& projection) {
    std::optional<std::vector<Element>> fields = ebml::ChildrenOf(buffer, projection);
    double roll = fields ? 0.0 : 1000.0;
    for (const Element& value : fields.value_or(std::vector<Element>{})) {
        if (value.id == ebml::kIdProjectionPoseRoll && value.size == 4) {
            roll = std::bit_cast<float>(static_cast<std::uint32_t>(ebml::UnsignedValue(buffer, value)));
        } else if (value.id == ebml::kIdProjectionPoseRoll && value.size == 8) {
            roll = std::bit_cast<double>(ebml::UnsignedValue(buffer, value));
        }
    }
    return roll;
}

// Appends a child of the Tracks element to children: a video track entry with the rotation the rule gives
// (its id and angle added to videoTracks), anything else as it is. False when it cannot be parsed.
bool AppendEntry(const Bytes& buffer, const Element& entry, const TrackAngleRule& rule,
                 MatroskaVideoTracks& videoTracks, Bytes& children) {
    std::optional<std::vector<Element>> fields;
    if (entry.id == ebml::kIdTrackEntry) {
        fields = ebml::ChildrenOf(buffer, entry);
        if (!fields) {
            return false;
        }
    }
    const std::optional<std::uint64_t> uid = fields ? VideoTrackUid(buffer, *fields) : std::nullopt;
    if (!uid) {
        ebml::AppendRange(children, buffer, entry.start, entry.End());
        return true;
    }
    const int clockwiseDegrees =
        NormalizedDegrees(rule(videoTracks.uids.size(), CurrentClockwise(buffer, *fields)));
    videoTracks.uids.push_back(*uid);
    videoTracks.angles.push_back(clockwiseDegrees);
    std::optional<Bytes> rotated = EntryWithProjection(buffer, *fields, clockwiseDegrees);
    if (!rotated) {
        return false;
    }
    ebml::AppendBytes(children, *rotated);
    return true;
}

} // namespace

float RollFor(int clockwiseDegrees) {
    // A positive roll turns the picture counter-clockwise.
    float roll = static_cast<float>(-NormalizedDegrees(clockwiseDegrees));
    return roll < -180.0f ? roll + 360.0f : roll;
}

std::optional<std::uint64_t> VideoTrackUid(const Bytes& buffer, const std::vector<Element>& fields) {
    bool isVideo = false;
    std::uint64_t uid = 0;
    for (const Element& field : fields) {
        isVideo = isVideo || (field.id == ebml::kIdTrackType &&
                              ebml::UnsignedValue(buffer, field) == ebml::kTrackTypeVideo);
        uid = field.id == ebml::kIdTrackUid ? ebml::UnsignedValue(buffer, field) : uid;
    }
    return isVideo ? std::optional<std::uint64_t>(uid) : std::nullopt;
}

std::vector<double> ProjectionRolls(const Bytes& buffer, const std::vector<Element>& trackFields) {
    std::vector<double> rolls;
    for (const Element& field : trackFields) {
        std::optional<std::vector<Element>> videoFields;
        if (field.id == ebml::kIdVideo) {
            videoFields = ebml::ChildrenOf(buffer, field);
        }
        for (const Element& videoField : videoFields.value_or(std::vector<Element>{})) {
            if (videoField.id == ebml::kIdProjection) {
                rolls.push_back(RollOf(buffer, videoField));
            }
        }
    }
    return rolls;
}

std::optional<Bytes> TracksWithProjection(const Bytes& buffer, const Element& tracks,
                                          const TrackAngleRule& rule, MatroskaVideoTracks& videoTracks) {
    std::optional<std::vector<Element>> entries = ebml::ChildrenOf(buffer, tracks);
    if (!entries) {
        return std::nullopt;
    }
    bool hadCrc = false;
    Bytes children;
    for (const Element& entry : *entries) {
        if (entry.id == ebml::kIdCrc32) {
            hadCrc = true;
        } else if (!AppendEntry(buffer, entry, rule, videoTracks, children)) {
            return std::nullopt;
        }
    }
    return ebml::WithCrc(ebml::kIdTracks, hadCrc, children);
}

Bytes ProjectionElement(int clockwiseDegrees) {
    Bytes data = ebml::UnsignedElement(ebml::kIdProjectionType, 0); // rectangular: a flat picture
    ebml::AppendBytes(data, RollElement(clockwiseDegrees));
    return ebml::MasterElement(ebml::kIdProjection, data);
}

} // namespace quarnix
