#include "engine/probe/StreamSelection.h"

namespace quarnix {

bool IsIgnoredCodec(AVCodecID codecId) {
    return codecId == AV_CODEC_ID_DVD_NAV;
}

bool IsCoverPicture(const AVStream& stream) {
    return (stream.disposition & AV_DISPOSITION_ATTACHED_PIC) != 0;
}

bool PassesCopySelection([[maybe_unused]] const AVFormatContext& input, const AVStream& stream) {
    const AVMediaType type = stream.codecpar->codec_type;
    if (IsIgnoredCodec(stream.codecpar->codec_id)) {
        return false;
    }
    if (type != AVMEDIA_TYPE_AUDIO && type != AVMEDIA_TYPE_VIDEO) {
        return false;
    }
    return !IsCoverPicture(stream);
}

DecoderOpenResult OpenStreamDecoder(AVFormatContext& input, AVStream& stream) {
    DecoderOpenResult result;
    const AVCodec* codec = avcodec_find_decoder(stream.codecpar->codec_id);
    if (codec == nullptr) {
        result.noDecoder = true;
        return result;
    }
    CodecContextPtr context(avcodec_alloc_context3(codec));
    if (!context) {
        result.error = AVERROR(ENOMEM);
        return result;
    }
    if (int rc = avcodec_parameters_to_context(context.get(), stream.codecpar); rc < 0) {
        result.error = rc;
        return result;
    }
    if (context->codec_type == AVMEDIA_TYPE_VIDEO || context->codec_type == AVMEDIA_TYPE_AUDIO) {
        if (context->codec_type == AVMEDIA_TYPE_VIDEO) {
            context->framerate = av_guess_frame_rate(&input, &stream, nullptr);
        }
        if (int rc = avcodec_open2(context.get(), codec, nullptr); rc < 0) {
            result.error = rc;
            return result;
        }
    }
    result.decoder = std::move(context);
    return result;
}

} // namespace quarnix
