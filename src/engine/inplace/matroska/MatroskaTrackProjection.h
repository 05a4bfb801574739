// The rotation of a Matroska video track: the Projection element in its Video element, whose
// ProjectionPoseRoll is minus the clockwise angle (a positive roll turns the picture counter-clockwise).
#pragma once

#include "engine/inplace/matroska/Ebml.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace quarnix {

// The clockwise angle a video track gets, from its place among the file's video tracks (0, 1, ...) and the
// angle its Projection shows now (0 without one).
using TrackAngleRule = std::function<int(std::size_t videoTrack, int currentClockwise)>;

// The video tracks of a Tracks element, in file order: their ids (TrackUID, 0 when a track names none) and
// the clockwise angles they get.
struct MatroskaVideoTracks {
    std::vector<std::uint64_t> uids;
    std::vector<int> angles;
};

// The Projection's roll for a clockwise angle, within -180..180.
float RollFor(int clockwiseDegrees);

// The TrackUID of a track entry (given by its fields) when it is a video track (0 when it names none).
std::optional<std::uint64_t> VideoTrackUid(const ebml::Bytes& buffer,
                                           const std::vector<ebml::Element>& fields);

// The roll of every Projection in the Video elements of a track entry (given by its fields), in order; a
// Projection that cannot be read counts as a roll of 1000.
std::vector<double> ProjectionRolls(const ebml::Bytes& buffer, const std::vector<ebml::Element>& trackFields);

// The Tracks element with the rotation the rule gives in every video track, whose ids and new angles are
// added to videoTracks; nullopt when it cannot be parsed or a video track has not exactly one Video element.
std::optional<ebml::Bytes> TracksWithProjection(const ebml::Bytes& buffer, const ebml::Element& tracks,
                                                const TrackAngleRule& rule, MatroskaVideoTracks& videoTracks);

// The Projection element for a clockwise rotation of the picture, as EBML bytes.
ebml::Bytes ProjectionElement(int clockwiseDegrees);

} // namespace quarnix
