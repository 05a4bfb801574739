#include "engine/probe/MediaProbe.h"

#include "engine/Rotation.h"

#include "engine/Containers.h"
#include "engine/inplace/quicktime/QuickTimeMovieFacts.h"
#include "engine/io/FileDescriptor.h"
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

// The demuxer is chosen by the file's contents. It is the QuickTime one for certain when the file starts
// with its type (unless the brand is a JPEG 2000 or JPEG XL picture's, which the picture demuxers take),
// its movie or its media data.
bool OpensAsQuickTime(const QuickTimeMovieFacts& movie) {
    if (movie.firstBoxType == BoxType("ftyp")) {
        return movie.majorBrand != BoxType("jp2 ") && movie.majorBrand != BoxType("jpx ") &&
               movie.majorBrand != BoxType("jxl ");
    }
    return movie.firstBoxType == BoxType("moov") || movie.firstBoxType == BoxType("mdat");
}

// A video track whose samples are clearly listed and whose codec the demuxer names and can decode, as the
// full probe requires of the video it reports.
bool IsPlainVideoTrack(const QuickTimeTrackMedia& track) {
    if (track.chapterPictures || track.sampleEntries != 1 || track.sampleCount < 2 || track.chunkCount == 0 ||
        track.timeToSampleEntries == 0 || track.sampleToChunkEntries == 0 || track.storedWidth <= 0 ||
        track.storedHeight <= 0) {
        return false;
    }
    // The codec tables take the type as its bytes in file order, read as a little-endian number.
    const AVCodecTag* const tables[] = {avformat_get_mov_video_tags(), nullptr};
    const AVCodecID codec = av_codec_get_id(tables, __builtin_bswap32(track.sampleEntryType));
    return codec != AV_CODEC_ID_NONE && avcodec_find_decoder(codec) != nullptr;
}

// At information level (--verbose) the demuxer's stream descriptions are what the caller asked to see;
// they are only shown, the box reading has already given the answer.
void DescribeStreams(const std::string& utf8Path, const std::atomic<std::uint8_t>* cancel) {
    if (av_log_get_level() < AV_LOG_INFO) {
        return;
    }
    InputFile input;
    if (input.Open(utf8Path, cancel) >= 0) {
        av_dump_format(input.get(), 0, utf8Path.c_str(), 0);
    }
}

} // namespace

std::optional<MediaFacts> QuickTimeAcceptance(int fd) {
    const QuickTimeMovieFacts movie = ReadQuickTimeMovieFacts(fd);
    // The demuxer takes a time scale as a signed 32-bit number and a duration as a signed 64-bit one; a
    // version-0 duration of all ones means "unknown". Fragmented movies list their samples elsewhere.
    if (!movie.complete || movie.fragmented || !OpensAsQuickTime(movie) || movie.timescale == 0 ||
        movie.timescale > static_cast<std::uint32_t>(std::numeric_limits<std::int32_t>::max()) ||
        movie.duration == 0 || movie.duration == 0xffffffffu ||
        movie.duration > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
        return std::nullopt;
    }
    MediaFacts facts;
    // Rounded as the demuxer rounds it; a duration too long for microseconds gives INT64_MIN.
    facts.durationUs = av_rescale(static_cast<std::int64_t>(movie.duration), AV_TIME_BASE, movie.timescale);
    if (facts.durationUs <= 0) {
        return std::nullopt;
    }
    bool video = false;
    for (const QuickTimeTrackMedia& track : movie.tracks) {
        // The demuxer refuses a movie with a track that describes no samples.
        if (track.sampleEntries == 0) {
            return std::nullopt;
        }
        if (track.handler != BoxType("vide")) {
            continue;
        }
        if (!IsPlainVideoTrack(track)) {
            return std::nullopt;
        }
        // The last video track in file order is the one whose facts the full probe reports.
        video = true;
        facts.width = track.storedWidth;
        facts.height = track.storedHeight;
    }
    if (!video) {
        return std::nullopt;
    }
    facts.result = kProbeAccepted;
    return facts;
}

MediaFacts ProbeMedia(const std::string& utf8Path, const std::atomic<std::uint8_t>* cancel,
                      ProbeDepth depth) {
    // Anything but a regular file (a FIFO, /dev/zero, a terminal, a socket) is refused before it is opened:
    // reading it could wait forever or never end.
    if (IsNotAFile(utf8Path)) {
        return Refused(kProbeNotOpenedOrNoVideo, "it is not a file");
    }
    // The box reader accepts only what the demuxer opens too, so the answer is the same whatever the log
    // level; a file it does not accept is judged by the demuxer.
    if (depth == ProbeDepth::kAcceptance && IsQuickTimeFamilyName(utf8Path)) {
        if (IsCancelled(cancel)) {
            return Refused(kProbeCancelled, "adding it was cancelled");
        }
        // Not blocking: a pipe under a video's name is not waited on here (the walker refuses it).
        const FileDescriptor fd(open(utf8Path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
        if (fd.get() >= 0) {
            if (std::optional<MediaFacts> facts = QuickTimeAcceptance(fd.get())) {
                DescribeStreams(utf8Path, cancel);
                return *std::move(facts);
            }
        }
    }
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
