#include "engine/probe/DemuxerProbe.h"
#include "engine/remux/StreamRotation.h"

#include "engine/Containers.h"
#include "engine/io/InputFile.h"
#include "engine/io/OutputFile.h"
#include "engine/probe/StreamSelection.h"
#include "engine/remux/OutputContainer.h"

#include <algorithm>
#include <fcntl.h>
#include <limits>
#include <string_view>

namespace quarnix {

namespace {

MediaFacts Refused(int result, const char* reason) {
    MediaFacts facts;
    facts.result = result;
    facts.refusal = reason;
    return facts;
}

// Still pictures and animations open through the picture demuxers ("jpeg_pipe", "image2", "gif", "apng");
// none of them is a video that a player rotates.
bool IsPictureDemuxer(const AVInputFormat& demuxer) {
    const std::string_view name = demuxer.name;
    return name.ends_with("_pipe") || name == "image2" || name == "gif" || name == "apng" || name == "webp" ||
           name == "ico" || name == "psd";
}

// How much of a file the probe reads to measure a video bit rate that the container does not list.
constexpr int kMeasuredPackets = 1000;
constexpr std::int64_t kMeasuredBytes = 4 << 20;

// The video bit rate where the container lists none (Matroska, WebM, MPEG-TS, FLV): the video packets'
// bytes over their time span, measured on the file's first packets; failing that, the file's overall rate
// less the audio streams' rates.
std::int64_t MeasuredVideoBitRate(AVFormatContext& input, int videoStream) {
    PacketPtr packet = MakePacket();
    std::int64_t videoBytes = 0;
    std::int64_t allBytes = 0;
    std::int64_t firstStamp = AV_NOPTS_VALUE;
    std::int64_t lastEnd = AV_NOPTS_VALUE;
    for (int n = 0; packet && n < kMeasuredPackets && allBytes < kMeasuredBytes; ++n) {
        if (av_read_frame(&input, packet.get()) < 0) {
            break;
        }
        allBytes += packet->size;
        const std::int64_t stamp = packet->dts != AV_NOPTS_VALUE ? packet->dts : packet->pts;
        if (packet->stream_index == videoStream && stamp != AV_NOPTS_VALUE) {
            videoBytes += packet->size;
            firstStamp = firstStamp == AV_NOPTS_VALUE ? stamp : std::min(firstStamp, stamp);
            lastEnd = std::max(lastEnd == AV_NOPTS_VALUE ? stamp : lastEnd, stamp + packet->duration);
        }
        av_packet_unref(packet.get());
    }
    if (videoBytes > 0 && lastEnd > firstStamp) {
        const double seconds =
            static_cast<double>(lastEnd - firstStamp) * av_q2d(input.streams[videoStream]->time_base);
        return static_cast<std::int64_t>(static_cast<double>(videoBytes) * 8.0 / seconds);
    }
    std::int64_t audioRates = 0;
    for (unsigned i = 0; i < input.nb_streams; ++i) {
        const AVCodecParameters& params = *input.streams[i]->codecpar;
        if (params.codec_type == AVMEDIA_TYPE_AUDIO) {
            if (params.bit_rate <= 0) {
                return 0;
            }
            audioRates += params.bit_rate;
        }
    }
    return input.bit_rate > audioRates ? input.bit_rate - audioRates : 0;
}

// The QuickTime and Matroska demuxers read every stream's codec and size from the file's header (the movie
// header, the track list), so the stream analysis, which decodes a picture of each video, is needed only
// for facts the list shows.
bool HeaderDescribesEveryStream(const AVFormatContext& input) {
    if (input.iformat == nullptr || input.duration == AV_NOPTS_VALUE) {
        return false;
    }
    if (FamilyOfFormatName(input.iformat->name) == ContainerFamily::kOther) {
        return false;
    }
    bool video = false;
    for (unsigned i = 0; i < input.nb_streams; ++i) {
        const AVCodecParameters& params = *input.streams[i]->codecpar;
        if (params.codec_id == AV_CODEC_ID_NONE) {
            return false;
        }
        if (params.codec_type == AVMEDIA_TYPE_VIDEO && (params.width <= 0 || params.height <= 0)) {
            return false;
        }
        if (params.codec_type == AVMEDIA_TYPE_AUDIO &&
            (params.sample_rate <= 0 || params.ch_layout.nb_channels <= 0)) {
            return false;
        }
        video = video || (params.codec_type == AVMEDIA_TYPE_VIDEO && !IsCoverPicture(*input.streams[i]));
    }
    return video;
}
} // namespace

void DescribeStreams(const std::string& utf8Path, const std::atomic<std::uint8_t>* cancel) {
    if (av_log_get_level() < AV_LOG_INFO) {
        return;
    }
    InputFile input;
    if (input.Open(utf8Path, cancel) >= 0) {
        av_dump_format(input.get(), 0, utf8Path.c_str(), 0);
    }
}

MediaFacts ProbeWithDemuxer(const std::string& utf8Path, const std::atomic<std::uint8_t>* cancel,
                            ProbeDepth depth) {
    InputFile input;
    if (input.Open(utf8Path, cancel) < 0) {
        return IsCancelled(cancel) ? Refused(kProbeCancelled, "adding it was cancelled")
                                   : Refused(kProbeNotOpenedOrNoVideo, "it cannot be opened as a video");
    }
    if (input->iformat != nullptr && IsPictureDemuxer(*input->iformat)) {
        return Refused(kProbeNotOpenedOrNoVideo, "it is a picture, not a video");
    }
    const bool quick = depth == ProbeDepth::kAcceptance && HeaderDescribesEveryStream(*input);
    if (!quick && avformat_find_stream_info(input.get(), nullptr) < 0) {
        return IsCancelled(cancel) ? Refused(kProbeCancelled, "adding it was cancelled")
                                   : Refused(kProbeNoStreamInfo, "its streams cannot be read");
    }

    MediaFacts facts;
    int videoStream = -1;
    bool hasCover = false;
    for (unsigned i = 0; i < input->nb_streams; ++i) {
        AVStream& stream = *input->streams[i];
        hasCover = hasCover || IsCoverPicture(stream);
        // A cover picture never gives the file its facts: the list shows the real picture's.
        if (!PassesCopySelection(*input, stream)) {
            continue;
        }
        // The facts come from the codec parameters that the stream analysis filled in: no decoder is
        // opened, since a rotation never decodes. A stream whose codec has no decoder at all is passed
        // over, as players would not show it either.
        const AVCodecParameters& params = *stream.codecpar;
        if (avcodec_find_decoder(params.codec_id) == nullptr) {
            continue;
        }
        if (params.codec_type == AVMEDIA_TYPE_VIDEO) {
            // The last video stream in index order is the one whose facts are reported.
            videoStream = static_cast<int>(i);
            const AVRational rate = av_guess_frame_rate(input.get(), &stream, nullptr);
            facts.frameRateNum = rate.num;
            facts.frameRateDen = rate.den;
            facts.width = params.width;
            facts.height = params.height;
            facts.videoBitRate = params.bit_rate;
        } else if (params.codec_type == AVMEDIA_TYPE_AUDIO) {
            facts.channels = params.ch_layout.nb_channels;
            facts.sampleRate = params.sample_rate;
            facts.audioBitRate = params.bit_rate;
        }
        facts.durationUs = input->duration;
    }

    av_dump_format(input.get(), 0, utf8Path.c_str(), 0);
    if (videoStream < 0) {
        return Refused(kProbeNotOpenedOrNoVideo,
                       hasCover ? "its only picture is a cover" : "it holds no video");
    }
    if (facts.videoBitRate <= 0 && !quick) {
        facts.videoBitRate = MeasuredVideoBitRate(*input, videoStream);
        if (IsCancelled(cancel)) {
            return Refused(kProbeCancelled, "adding it was cancelled");
        }
    }
    facts.profile = input->streams[videoStream]->codecpar->profile;
    const DisplayTransform shown = StreamDisplayTransform(*input->streams[videoStream]);
    facts.shownClockwise = shown.clockwise;
    facts.shownMirrored = shown.mirrored;
    facts.result = kProbeAccepted;
    return facts;
}

} // namespace quarnix
