#include "MediaProbe.h"

#include "InputFile.h"
#include "StreamSelection.h"

namespace quarnix {

namespace {

MediaFacts Refused(int result, const char* reason) {
    MediaFacts facts;
    facts.result = result;
    facts.refusal = reason;
    return facts;
}

} // namespace

MediaFacts ProbeMedia(const std::string& utf8Path, const std::atomic<std::uint8_t>* cancel) {
    InputFile input;
    if (input.Open(utf8Path, cancel) < 0) {
        return IsCancelled(cancel) ? Refused(kProbeCancelled, "adding it was cancelled")
                                   : Refused(kProbeNotOpenedOrNoVideo, "it cannot be opened as a video");
    }
    if (avformat_find_stream_info(input.get(), nullptr) < 0) {
        return IsCancelled(cancel) ? Refused(kProbeCancelled, "adding it was cancelled")
                                   : Refused(kProbeNoStreamInfo, "its streams cannot be read");
    }

    MediaFacts facts;
    int videoStream = -1;
    for (unsigned i = 0; i < input->nb_streams; ++i) {
        AVStream& stream = *input->streams[i];
        const AVCodecParameters& params = *stream.codecpar;
        if (IsIgnoredCodec(params.codec_id) || params.codec_type == AVMEDIA_TYPE_SUBTITLE) {
            continue;
        }
        // The last video stream in index order is the one whose profile is reported, cover or not.
        if (params.codec_type == AVMEDIA_TYPE_VIDEO) {
            videoStream = static_cast<int>(i);
        }
        if (IsCoverPicture(stream)) {
            continue;
        }
        DecoderOpenResult opened = OpenStreamDecoder(*input, stream);
        if (opened.noDecoder) {
            continue;
        }
        if (opened.error < 0) {
            return Refused(opened.error, "its streams cannot be read");
        }
        const AVCodecContext& decoder = *opened.decoder;
        if (decoder.codec_type == AVMEDIA_TYPE_VIDEO) {
            facts.frameRateNum = decoder.framerate.num;
            facts.frameRateDen = decoder.framerate.den;
            facts.width = decoder.width;
            facts.height = decoder.height;
            facts.videoBitRate = decoder.bit_rate;
        } else if (decoder.codec_type == AVMEDIA_TYPE_AUDIO) {
            facts.channels = decoder.ch_layout.nb_channels;
            facts.sampleRate = decoder.sample_rate;
            facts.audioBitRate = decoder.bit_rate;
        }
        facts.durationUs = input->duration;
    }

    av_dump_format(input.get(), 0, utf8Path.c_str(), 0);
    if (videoStream < 0) {
        return Refused(kProbeNotOpenedOrNoVideo, "it holds no video");
    }
    facts.profile = input->streams[videoStream]->codecpar->profile;
    facts.result = kProbeAccepted;
    return facts;
}

} // namespace quarnix
