// Ownership of FFmpeg objects: one std::unique_ptr alias per kind, each with the library's own free call.
// Engine code never calls the free functions by hand; leaving a scope releases what it opened.
#pragma once

#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/frame.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

namespace quarnix {

struct InputFormatDeleter {
    void operator()(AVFormatContext* context) const { avformat_close_input(&context); }
};
// Output contexts own their AVIOContext when the format writes a file, unless it is the caller's own
// (AVFMT_FLAG_CUSTOM_IO); it is closed before the context.
struct OutputFormatDeleter {
    void operator()(AVFormatContext* context) const {
        if (context != nullptr && context->oformat != nullptr && !(context->oformat->flags & AVFMT_NOFILE) &&
            !(context->flags & AVFMT_FLAG_CUSTOM_IO)) {
            avio_closep(&context->pb);
        }
        avformat_free_context(context);
    }
};
struct CodecContextDeleter {
    void operator()(AVCodecContext* context) const { avcodec_free_context(&context); }
};
struct PacketDeleter {
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
struct FrameDeleter {
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
struct AudioFifoDeleter {
    void operator()(AVAudioFifo* fifo) const { av_audio_fifo_free(fifo); }
};
struct ResamplerDeleter {
    void operator()(SwrContext* context) const { swr_free(&context); }
};
struct ScalerDeleter {
    void operator()(SwsContext* context) const { sws_freeContext(context); }
};
struct AvFreeDeleter {
    void operator()(void* memory) const { av_free(memory); }
};
struct DictionaryDeleter {
    void operator()(AVDictionary* dictionary) const { av_dict_free(&dictionary); }
};

using InputFormatPtr = std::unique_ptr<AVFormatContext, InputFormatDeleter>;
using OutputFormatPtr = std::unique_ptr<AVFormatContext, OutputFormatDeleter>;
using CodecContextPtr = std::unique_ptr<AVCodecContext, CodecContextDeleter>;
using PacketPtr = std::unique_ptr<AVPacket, PacketDeleter>;
using FramePtr = std::unique_ptr<AVFrame, FrameDeleter>;
using AudioFifoPtr = std::unique_ptr<AVAudioFifo, AudioFifoDeleter>;
using ResamplerPtr = std::unique_ptr<SwrContext, ResamplerDeleter>;
using ScalerPtr = std::unique_ptr<SwsContext, ScalerDeleter>;
using DictionaryPtr = std::unique_ptr<AVDictionary, DictionaryDeleter>;
template <typename T> using AvMemoryPtr = std::unique_ptr<T, AvFreeDeleter>;

inline PacketPtr MakePacket() {
    return PacketPtr(av_packet_alloc());
}
inline FramePtr MakeFrame() {
    return FramePtr(av_frame_alloc());
}

} // namespace quarnix
