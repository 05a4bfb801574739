#include "engine/Rotation.h"

#include "engine/io/FfmpegVersion.h"

#include <cstring>
#include <string>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/display.h>
}

namespace quarnix {

namespace {

constexpr std::int32_t kFixed16(int value) {
    return static_cast<std::int32_t>(value) * 65536;
}

// Translation entries are 16.16 fixed point; sizes that do not fit are left untranslated.
std::int32_t TranslationOf(int pixels) {
    return (pixels > 0 && pixels <= 32767) ? kFixed16(pixels) : 0;
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

std::array<std::int32_t, 9> ClockwiseDisplayMatrix(int degrees, int width, int height) {
    std::array<std::int32_t, 9> matrix{};
    // av_display_rotation_set takes the angle so that a positive value turns the picture clockwise on
    // display.
    av_display_rotation_set(matrix.data(), degrees);
    // Snap to exact integers: the library computes through floating point.
    for (int index : {0, 1, 3, 4}) {
        matrix[index] = matrix[index] > 32768 ? kFixed16(1) : (matrix[index] < -32768 ? kFixed16(-1) : 0);
    }
    switch (degrees) {
    case 90:
        matrix[6] = TranslationOf(height);
        break;
    case 180:
        matrix[6] = TranslationOf(width);
        matrix[7] = TranslationOf(height);
        break;
    case 270:
        matrix[7] = TranslationOf(width);
        break;
    default:
        matrix = {};
        av_display_rotation_set(matrix.data(), 0);
        break;
    }
    return matrix;
}

int MarkStreamRotated(AVStream& stream, int degrees, bool isVideo) {
    if (isVideo) {
        RemoveDisplayMatrix(stream);
    }
    if (degrees == 0) {
        return 0;
    }
    if (int rc = av_dict_set(&stream.metadata, "rotate", std::to_string(degrees).c_str(), 0); rc < 0) {
        return rc;
    }
    if (!isVideo) {
        return 0;
    }
    return AttachDisplayMatrix(
        stream, ClockwiseDisplayMatrix(degrees, stream.codecpar->width, stream.codecpar->height));
}

} // namespace quarnix
