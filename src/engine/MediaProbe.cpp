#include "MediaProbe.h"

#include "MemoryReuse.h"
#include "OutputFile.h"
#include "StreamSelection.h"

namespace quarnix {

int ProbeMediaFile(CConvertJob& job) {
    ReuseFrameMemory();
    AVFormatContext* rawInput = nullptr;
    if (avformat_open_input(&rawInput, LocalFileUrl(job.m_probePath).c_str(), nullptr, nullptr) < 0) {
        return kProbeNotOpenedOrNoVideo;
    }
    InputFormatPtr input(rawInput);
    if (avformat_find_stream_info(input.get(), nullptr) < 0) {
        return kProbeNoStreamInfo;
    }

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
        if (IsCoverPicture(*input, stream)) {
            continue;
        }
        DecoderOpenResult opened = OpenStreamDecoder(*input, stream);
        if (opened.noDecoder) {
            continue;
        }
        if (opened.error < 0) {
            return opened.error;
        }
        const AVCodecContext& decoder = *opened.decoder;
        if (decoder.codec_type == AVMEDIA_TYPE_VIDEO) {
            job.m_probeFrameRateNum = decoder.framerate.num;
            job.m_probeFrameRateDen = decoder.framerate.den;
            job.m_probeWidth = decoder.width;
            job.m_probeHeight = decoder.height;
            job.m_videoBitRate = static_cast<std::int32_t>(decoder.bit_rate);
        } else if (decoder.codec_type == AVMEDIA_TYPE_AUDIO) {
            job.m_channels = decoder.ch_layout.nb_channels;
            job.m_sampleRate = decoder.sample_rate;
            job.m_audioBitRate = static_cast<std::int32_t>(decoder.bit_rate);
        }
        job.m_probeDuration = input->duration;
    }

    av_dump_format(input.get(), 0, job.m_probePath.c_str(), 0);
    if (videoStream < 0) {
        return kProbeNotOpenedOrNoVideo;
    }
    job.m_probeProfile = input->streams[videoStream]->codecpar->profile;
    return kProbeAccepted;
}

} // namespace quarnix
