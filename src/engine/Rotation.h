// The one rule of rotation: how players show a video track now (its display transform), how a turn the
// user chose changes it, and how a transform is written as a display matrix or a Matroska roll. A turn
// adds to what players show (a clip marked 90 and turned 90 shows at 180; a mirror stays a mirror); only
// an absolute turn sets the angle as given.
#pragma once

#include <array>
#include <cstdint>

namespace quarnix {

// How players show a track: the coded picture, mirrored left to right first when `mirrored`, then turned
// clockwise by `clockwise` degrees (0, 90, 180 or 270).
struct DisplayTransform {
    int clockwise = 0;
    bool mirrored = false;
    bool operator==(const DisplayTransform&) const = default;
};

// What the user chose: a clockwise turn of what players show now, or (absolute) the rotation to set,
// which also drops a mirror (0 then means "as recorded").
struct Turn {
    int degrees = 0;
    bool absolute = false;

    static Turn Clockwise(int degrees) { return {degrees, false}; }
    static Turn Absolute(int degrees) { return {degrees, true}; }
    bool operator==(const Turn&) const = default;
};

// Any angle as 0..359.
int NormalizedDegrees(int degrees);

// The transform a track gets when the turn is applied to the one it has.
DisplayTransform TurnedTransform(const Turn& turn, const DisplayTransform& current);

// The transform a display matrix (FFmpeg's order, which is also the order of a QuickTime track header)
// stands for, snapped to the nearest quarter turn; the identity for a null or degenerate matrix.
DisplayTransform TransformOfMatrix(const std::int32_t* matrix);

// The clockwise angle a Matroska ProjectionPoseRoll stands for (a positive roll turns counter-clockwise),
// snapped to the nearest quarter turn.
int ClockwiseOfRoll(double roll);

// The display matrix of a transform for a picture of the given size, with the translation that keeps the
// turned picture in place, exactly as phones and QuickTime writers store it.
std::array<std::int32_t, 9> DisplayMatrixOf(const DisplayTransform& transform, int width, int height);

// The canonical matrix of a plain clockwise rotation of 0, 90, 180 or 270 degrees (any other angle gives
// the identity).
std::array<std::int32_t, 9> ClockwiseDisplayMatrix(int degrees, int width, int height);

} // namespace quarnix
