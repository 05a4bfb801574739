#include "engine/Rotation.h"

#include <cmath>
#include <numbers>

namespace quarnix {

namespace {

constexpr std::int32_t kOne = 65536; // 1.0 in 16.16 fixed point

// Translation entries are 16.16 fixed point; sizes that do not fit are left untranslated.
std::int32_t TranslationOf(int pixels) {
    return (pixels > 0 && pixels <= 32767) ? static_cast<std::int32_t>(pixels) * kOne : 0;
}

// The linear part of a display matrix as whole numbers: a point (x, y) is shown at
// (x*a + y*c, x*b + y*d), the row-vector order FFmpeg and QuickTime use.
struct Linear {
    int a = 1, b = 0, c = 0, d = 1;
    bool operator==(const Linear&) const = default;
};

// A clockwise quarter turn on screen (y grows downwards).
Linear RotationOf(int clockwise) {
    switch (NormalizedDegrees(clockwise)) {
    case 90:
        return {0, 1, -1, 0};
    case 180:
        return {-1, 0, 0, -1};
    case 270:
        return {0, -1, 1, 0};
    default:
        return {};
    }
}

// The mirror applied before the turn negates x first: it negates the matrix's first row.
Linear Mirrored(const Linear& m) {
    return {-m.a, -m.b, m.c, m.d};
}

int Snap(std::int32_t fixed) {
    return fixed > kOne / 2 ? 1 : (fixed < -kOne / 2 ? -1 : 0);
}

// The counter-clockwise angle in degrees of a display matrix's linear part, each column's scale taken out
// first (the formula of libavutil's av_display_rotation_get, written here so that the in-place path needs
// no media library); NaN for a degenerate matrix.
double CounterClockwiseDegrees(const std::int32_t* matrix) {
    const auto fixed = [](std::int32_t value) { return static_cast<double>(value) / kOne; };
    const double scaleX = std::hypot(fixed(matrix[0]), fixed(matrix[3]));
    const double scaleY = std::hypot(fixed(matrix[1]), fixed(matrix[4]));
    if (scaleX == 0.0 || scaleY == 0.0) {
        return std::nan("");
    }
    return -std::atan2(fixed(matrix[1]) / scaleY, fixed(matrix[0]) / scaleX) * 180.0 / std::numbers::pi;
}

int SnappedQuarterTurn(double degrees) {
    return std::isfinite(degrees) ? NormalizedDegrees(static_cast<int>(std::lround(degrees / 90.0)) * 90) : 0;
}

} // namespace

int NormalizedDegrees(int degrees) {
    return ((degrees % 360) + 360) % 360;
}

DisplayTransform TurnedTransform(const Turn& turn, const DisplayTransform& current) {
    if (turn.absolute) {
        return {NormalizedDegrees(turn.degrees), false};
    }
    // Mirroring first and turning after, a further turn only adds to the angle.
    return {NormalizedDegrees(current.clockwise + turn.degrees), current.mirrored};
}

DisplayTransform TransformOfMatrix(const std::int32_t* matrix) {
    if (matrix == nullptr) {
        return {};
    }
    Linear m{Snap(matrix[0]), Snap(matrix[1]), Snap(matrix[3]), Snap(matrix[4])};
    const int determinant = m.a * m.d - m.b * m.c;
    DisplayTransform transform;
    transform.mirrored = determinant < 0;
    if (transform.mirrored) {
        m = Mirrored(m);
    }
    for (int clockwise : {0, 90, 180, 270}) {
        if (RotationOf(clockwise) == m) {
            transform.clockwise = clockwise;
            return transform;
        }
    }
    // Not a quarter turn (a scaled or skewed matrix): the nearest one, as players round it.
    return {SnappedQuarterTurn(-CounterClockwiseDegrees(matrix)), false};
}

int ClockwiseOfRoll(double roll) {
    return SnappedQuarterTurn(-roll);
}

std::array<std::int32_t, 9> DisplayMatrixOf(const DisplayTransform& transform, int width, int height) {
    Linear m = RotationOf(transform.clockwise);
    if (transform.mirrored) {
        m = Mirrored(m);
    }
    // The translation moves the turned picture's corners back to the origin: a negative x or y column
    // needs the size it was mapped from.
    const int tx = (m.a < 0 ? width : 0) + (m.c < 0 ? height : 0);
    const int ty = (m.b < 0 ? width : 0) + (m.d < 0 ? height : 0);
    return {m.a * kOne,        m.b * kOne,        0,      m.c * kOne, m.d * kOne, 0,
            TranslationOf(tx), TranslationOf(ty), 1 << 30};
}

std::array<std::int32_t, 9> ClockwiseDisplayMatrix(int degrees, int width, int height) {
    const int normalized = NormalizedDegrees(degrees);
    const bool quarterTurn = normalized % 90 == 0;
    return DisplayMatrixOf({quarterTurn ? normalized : 0, false}, width, height);
}

} // namespace quarnix
