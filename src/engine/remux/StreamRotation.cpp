#include "engine/remux/StreamRotation.h"

#include "engine/io/FfmpegVersion.h"

#include <cstring>
#include <string>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace quarnix {

namespace {

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
