#include "engine/probe/PreviewDecoding.h"

#include "engine/io/FfmpegPtr.h"
#include "engine/io/InputFile.h"
#include "engine/io/OutputFile.h"
#include "engine/probe/StreamSelection.h"
#include "engine/remux/StreamRotation.h"

#include <algorithm>
#include <cmath>

extern "C" {
#include <libavutil/imgutils.h>
}

namespace quarnix {

namespace {

// A damaged file may hold packets without a picture for a long way: give up after this many.
constexpr int kMaxPacketsRead = 600;

// The video stream players show: the best one the demuxer names, never a cover picture.
int PreviewStream(AVFormatContext& input) {
    const int best = av_find_best_stream(&input, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (best >= 0 && !IsCoverPicture(*input.streams[best])) {
        return best;
    }
    for (unsigned i = 0; i < input.nb_streams; ++i) {
        const AVStream& stream = *input.streams[i];
        if (stream.codecpar->codec_type == AVMEDIA_TYPE_VIDEO && !IsCoverPicture(stream)) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

CodecContextPtr OpenDecoder(const AVStream& stream) {
    const AVCodec* codec = avcodec_find_decoder(stream.codecpar->codec_id);
    if (codec == nullptr) {
        return nullptr;
    }
    CodecContextPtr decoder(avcodec_alloc_context3(codec));
    if (!decoder || avcodec_parameters_to_context(decoder.get(), stream.codecpar) < 0) {
        return nullptr;
    }
    // One picture is wanted: a single thread starts at once and keeps memory small.
    decoder->thread_count = 1;
    if (avcodec_open2(decoder.get(), codec, nullptr) < 0) {
        return nullptr;
    }
    return decoder;
}

// Seeks to the picture shown a second in, or a tenth of the way into a shorter clip; the start stays
// where it is when the file cannot seek.
void SeekNearStart(AVFormatContext& input, const AVStream& stream) {
    std::int64_t target = AV_TIME_BASE; // microseconds
    if (input.duration > 0) {
        target = std::min(target, input.duration / 10);
    }
    if (target <= 0) {
        return;
    }
    const std::int64_t start = stream.start_time != AV_NOPTS_VALUE ? stream.start_time : 0;
    const std::int64_t timestamp =
        start + av_rescale_q(target, AVRational{1, AV_TIME_BASE}, stream.time_base);
    static_cast<void>(av_seek_frame(&input, stream.index, timestamp, AVSEEK_FLAG_BACKWARD));
}

FramePtr DecodeOnePicture(AVFormatContext& input, AVCodecContext& decoder, int streamIndex,
                          const std::atomic<std::uint8_t>* cancel) {
    PacketPtr packet = MakePacket();
    FramePtr frame = MakeFrame();
    if (!packet || !frame) {
        return nullptr;
    }
    bool draining = false;
    for (int read = 0; read < kMaxPacketsRead && !IsCancelled(cancel);) {
        if (!draining) {
            const int rc = av_read_frame(&input, packet.get());
            if (rc < 0) {
                draining = true;
                static_cast<void>(avcodec_send_packet(&decoder, nullptr));
            } else {
                if (packet->stream_index == streamIndex) {
                    ++read;
                    // A packet the decoder refuses is damaged: the next one may still give a picture.
                    static_cast<void>(avcodec_send_packet(&decoder, packet.get()));
                }
                av_packet_unref(packet.get());
            }
        }
        const int received = avcodec_receive_frame(&decoder, frame.get());
        if (received == 0) {
            return frame;
        }
        // A damaged packet only costs its picture; the end of the drained decoder ends the search.
        if (received == AVERROR_EOF || (draining && received == AVERROR(EAGAIN))) {
            return nullptr;
        }
    }
    return nullptr;
}

// The frame scaled to fit the square, its sample aspect made square pixels.
std::optional<PreviewPicture> Scaled(const AVFrame& frame, int maxSide) {
    if (frame.width <= 0 || frame.height <= 0 || maxSide <= 0) {
        return std::nullopt;
    }
    double shownWidth = frame.width;
    if (frame.sample_aspect_ratio.num > 0 && frame.sample_aspect_ratio.den > 0) {
        shownWidth = frame.width * av_q2d(frame.sample_aspect_ratio);
    }
    const double scale =
        std::min(1.0, static_cast<double>(maxSide) / std::max(shownWidth, double(frame.height)));
    PreviewPicture picture;
    picture.width = std::max(1, static_cast<int>(std::lround(shownWidth * scale)));
    picture.height = std::max(1, static_cast<int>(std::lround(frame.height * scale)));
    ScalerPtr scaler(sws_getContext(frame.width, frame.height, static_cast<AVPixelFormat>(frame.format),
                                    picture.width, picture.height, AV_PIX_FMT_RGB24, SWS_AREA, nullptr,
                                    nullptr, nullptr));
    if (!scaler) {
        return std::nullopt;
    }
    picture.rgb.resize(static_cast<std::size_t>(picture.width) * static_cast<std::size_t>(picture.height) *
                       3);
    std::uint8_t* planes[4] = {picture.rgb.data(), nullptr, nullptr, nullptr};
    int strides[4] = {picture.width * 3, 0, 0, 0};
    if (sws_scale(scaler.get(), frame.data, frame.linesize, 0, frame.height, planes, strides) !=
        picture.height) {
        return std::nullopt;
    }
    return picture;
}

} // namespace

std::optional<PreviewPicture> DecodePreviewPicture(const std::string& utf8Path, int maxSide,
                                                   const std::atomic<std::uint8_t>* cancel) {
    // Only a regular file: a FIFO would give its data to this picture instead of to the batch that rotates
    // it, and a device may never end.
    if (IsNotAFile(utf8Path)) {
        return std::nullopt;
    }
    InputFile input;
    if (input.Open(utf8Path, cancel) < 0 || avformat_find_stream_info(input.get(), nullptr) < 0) {
        return std::nullopt;
    }
    const int streamIndex = PreviewStream(*input);
    if (streamIndex < 0) {
        return std::nullopt;
    }
    const AVStream& stream = *input->streams[streamIndex];
    CodecContextPtr decoder = OpenDecoder(stream);
    if (!decoder) {
        return std::nullopt;
    }
    SeekNearStart(*input, stream);
    FramePtr frame = DecodeOnePicture(*input, *decoder, streamIndex, cancel);
    if (!frame) {
        return std::nullopt;
    }
    std::optional<PreviewPicture> picture = Scaled(*frame, maxSide);
    if (picture) {
        picture->shown = StreamDisplayTransform(stream);
    }
    return picture;
}

} // namespace quarnix
