#include "engine/Rotation.h"

#include "engine/io/FfmpegVersion.h"

#include <cmath>
#include <cstring>
#include <string>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/display.h>
}

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

int SnappedQuarterTurn(double degrees) {
    return std::isfinite(degrees) ? NormalizedDegrees(static_cast<int>(std::lround(degrees / 90.0)) * 90) : 0;
}

const std::int32_t* StreamMatrix(const AVStream& stream) {
#if QUARNIX_CODECPAR_SIDE_DATA
    const AVPacketSideData* sideData = av_packet_side_data_get(
        stream.codecpar->coded_side_data, stream.codecpar->nb_coded_side_data, AV_PKT_DATA_DISPLAYMATRIX);
    return sideData != nullptr && sideData->size >= 36 ? reinterpret_cast<const std::int32_t*>(sideData->data)
                                                       : nullptr;
#else
    for (int i = 0; i < stream.nb_side_data; ++i) {
        const AVPacketSideData& sideData = stream.side_data[i];
        if (sideData.type == AV_PKT_DATA_DISPLAYMATRIX && sideData.size >= 36) {
            return reinterpret_cast<const std::int32_t*>(sideData.data);
        }
    }
    return nullptr;
#endif
}

void RemoveDisplayMatrix([[maybe_unused]] AVStream& stream) {
#if QUARNIX_CODECPAR_SIDE_DATA
    av_packet_side_data_remove(stream.codecpar->coded_side_data, &stream.codecpar->nb_coded_side_data,
                               AV_PKT_DATA_DISPLAYMATRIX);
#endif
}

int AttachDisplayMatrix(AVStream& stream, const std::array<std::int32_t, 9>& matrix) {
    const std::size_t size = sizeof(std::int32_t) * matrix.size();
#if QUARNIX_CODECPAR_SIDE_DATA
    AVPacketSideData* sideData =
        av_packet_side_data_new(&stream.codecpar->coded_side_data, &stream.codecpar->nb_coded_side_data,
                                AV_PKT_DATA_DISPLAYMATRIX, size, 0);
    if (sideData == nullptr) {
        return AVERROR(ENOMEM);
    }
    std::memcpy(sideData->data, matrix.data(), size);
#else
    std::uint8_t* data = av_stream_new_side_data(&stream, AV_PKT_DATA_DISPLAYMATRIX, size);
    if (data == nullptr) {
        return AVERROR(ENOMEM);
    }
    std::memcpy(data, matrix.data(), size);
#endif
    return 0;
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
    return {SnappedQuarterTurn(-av_display_rotation_get(matrix)), false};
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

DisplayTransform StreamDisplayTransform(const AVStream& stream) {
    return TransformOfMatrix(StreamMatrix(stream));
}

int MarkStreamRotated(AVStream& stream, const DisplayTransform& transform, bool isVideo) {
    if (isVideo) {
        RemoveDisplayMatrix(stream);
    }
    const std::string angleText = std::to_string(transform.clockwise);
    if (int rc = av_dict_set(&stream.metadata, "rotate",
                             transform.clockwise == 0 ? nullptr : angleText.c_str(), 0);
        rc < 0) {
        return rc;
    }
    if (!isVideo || transform == DisplayTransform{}) {
        return 0;
    }
    return AttachDisplayMatrix(stream,
                               DisplayMatrixOf(transform, stream.codecpar->width, stream.codecpar->height));
}

} // namespace quarnix
