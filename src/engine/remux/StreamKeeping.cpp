#include "engine/remux/StreamKeeping.h"

#include "engine/Rotation.h"
#include "engine/io/FfmpegError.h"
#include "engine/io/FfmpegPtr.h"
#include "engine/io/FfmpegVersion.h"
#include "engine/probe/StreamSelection.h"
#include "engine/remux/OutputContainer.h"
#include "engine/remux/StreamRotation.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>

extern "C" {
#include <libavutil/mem.h>
}

namespace quarnix {

namespace {

// A seekable sink that keeps nothing: trial headers are written into it to learn whether the muxer takes a
// set of streams. QuickTime muxers need to seek back, so it tracks the position and size it was given.
class TrialSink {
public:
    TrialSink() {
        constexpr int kBufferSize = 4096;
        auto* buffer = static_cast<unsigned char*>(av_malloc(kBufferSize));
        if (buffer == nullptr) {
            return;
        }
        m_context =
            avio_alloc_context(buffer, kBufferSize, 1, this, nullptr, &TrialSink::Write, &TrialSink::Seek);
        if (m_context == nullptr) {
            av_free(buffer);
        }
    }
    ~TrialSink() {
        if (m_context != nullptr) {
            av_freep(&m_context->buffer);
            avio_context_free(&m_context);
        }
    }
    TrialSink(const TrialSink&) = delete;
    TrialSink& operator=(const TrialSink&) = delete;

    AVIOContext* get() const { return m_context; }

private:
    static int Write(void* opaque, std::uint8_t*, int size) {
        auto* self = static_cast<TrialSink*>(opaque);
        self->m_position += size;
        self->m_size = std::max(self->m_size, self->m_position);
        return size;
    }
    static std::int64_t Seek(void* opaque, std::int64_t offset, int whence) {
        auto* self = static_cast<TrialSink*>(opaque);
        switch (whence & ~AVSEEK_FORCE) {
        case AVSEEK_SIZE:
            return self->m_size;
        case SEEK_SET:
            self->m_position = offset;
            break;
        case SEEK_CUR:
            self->m_position += offset;
            break;
        case SEEK_END:
            self->m_position = self->m_size + offset;
            break;
        default:
            return AVERROR(EINVAL);
        }
        return self->m_position;
    }

    AVIOContext* m_context = nullptr;
    std::int64_t m_position = 0;
    std::int64_t m_size = 0;
};

// The codec tag is kept when the muxer maps it to the same codec, or has no tag of its own for the codec
// (hvc1 stays hvc1, apco stays apco, XVID stays XVID); otherwise the muxer picks its own.
unsigned KeptCodecTag(const AVOutputFormat& muxer, const AVCodecParameters& params) {
    if (muxer.codec_tag == nullptr || av_codec_get_id(muxer.codec_tag, params.codec_tag) == params.codec_id) {
        return params.codec_tag;
    }
    unsigned muxerTag = 0;
    return av_codec_get_tag2(muxer.codec_tag, params.codec_id, &muxerTag) ? 0 : params.codec_tag;
}

int CopySideData([[maybe_unused]] const AVStream& inStream, [[maybe_unused]] AVStream& outStream) {
#if !QUARNIX_CODECPAR_SIDE_DATA
    for (int i = 0; i < inStream.nb_side_data; ++i) {
        const AVPacketSideData& sideData = inStream.side_data[i];
        // The output's matrix is made from the input's and the turn (MarkStreamRotated); never copied.
        if (sideData.type == AV_PKT_DATA_DISPLAYMATRIX) {
            continue;
        }
        std::uint8_t* data = av_stream_new_side_data(&outStream, sideData.type, sideData.size);
        if (data == nullptr) {
            return AVERROR(ENOMEM);
        }
        std::memcpy(data, sideData.data, sideData.size);
    }
#endif
    return 0;
}

// A cover becomes a Matroska attachment: the picture is the attachment's data, named the way players
// look for covers.
int MakeCoverAttachment(const AVStream& inStream, AVStream& outStream) {
    const AVPacket& picture = inStream.attached_pic;
    if (picture.data == nullptr || picture.size <= 0) {
        return AVERROR_INVALIDDATA;
    }
    AVCodecParameters& params = *outStream.codecpar;
    params.codec_type = AVMEDIA_TYPE_ATTACHMENT;
    params.codec_id = inStream.codecpar->codec_id;
    params.extradata = static_cast<std::uint8_t*>(av_mallocz(picture.size + AV_INPUT_BUFFER_PADDING_SIZE));
    if (params.extradata == nullptr) {
        return AVERROR(ENOMEM);
    }
    std::memcpy(params.extradata, picture.data, picture.size);
    params.extradata_size = picture.size;
    const bool png = params.codec_id == AV_CODEC_ID_PNG;
    if (av_dict_get(outStream.metadata, "filename", nullptr, 0) == nullptr) {
        if (int rc = av_dict_set(&outStream.metadata, "filename", png ? "cover.png" : "cover.jpg", 0);
            rc < 0) {
            return rc;
        }
    }
    if (av_dict_get(outStream.metadata, "mimetype", nullptr, 0) == nullptr &&
        (png || params.codec_id == AV_CODEC_ID_MJPEG)) {
        return av_dict_set(&outStream.metadata, "mimetype", png ? "image/png" : "image/jpeg", 0);
    }
    return 0;
}

// The ISO 639-2 languages whose bibliographic code differs from the terminological one (the whole list);
// the library's own table is not public.
const char* BibliographicLanguage(std::string_view terminological) {
    static constexpr std::pair<std::string_view, const char*> kCodes[] = {
        {"sqi", "alb"}, {"hye", "arm"}, {"eus", "baq"}, {"mya", "bur"}, {"zho", "chi"},
        {"ces", "cze"}, {"nld", "dut"}, {"fra", "fre"}, {"kat", "geo"}, {"deu", "ger"},
        {"ell", "gre"}, {"isl", "ice"}, {"mkd", "mac"}, {"mri", "mao"}, {"msa", "may"},
        {"fas", "per"}, {"ron", "rum"}, {"slk", "slo"}, {"bod", "tib"}, {"cym", "wel"}};
    for (const auto& [code, bibliographic] : kCodes) {
        if (code == terminological) {
            return bibliographic;
        }
    }
    return nullptr;
}

bool IsPictureOrSound(const AVStream& stream) {
    const AVMediaType type = stream.codecpar->codec_type;
    return (type == AVMEDIA_TYPE_AUDIO || type == AVMEDIA_TYPE_VIDEO) && !IsCoverPicture(stream);
}

// Writes a header (and trailer) for the planned streams into a sink; true when the muxer takes them.
bool MuxerTakes(const AVFormatContext& input, const AVOutputFormat& muxer, const std::vector<KeptAs>& plan,
                const Turn& turn) {
    AVFormatContext* raw = nullptr;
    if (avformat_alloc_output_context2(&raw, &muxer, nullptr, nullptr) < 0 || raw == nullptr) {
        return false;
    }
    OutputFormatPtr trial(raw);
    TrialSink sink;
    if (sink.get() == nullptr || av_dict_copy(&trial->metadata, input.metadata, 0) < 0) {
        return false;
    }
    for (unsigned i = 0; i < input.nb_streams; ++i) {
        if (plan[i] != KeptAs::kLeftOut &&
            AddKeptStream(*trial, *input.streams[i], plan[i], turn) == nullptr) {
            return false;
        }
    }
    if (CopyChapters(input, *trial, 0) < 0) {
        return false;
    }
    AVDictionary* rawOptions = nullptr;
    const int optionsResult = OutputOptionsFor(input, *trial, &rawOptions);
    DictionaryPtr options(rawOptions);
    if (optionsResult < 0) {
        return false;
    }
    trial->pb = sink.get();
    trial->flags |= AVFMT_FLAG_CUSTOM_IO;
    rawOptions = options.release();
    const int headerResult = avformat_write_header(trial.get(), &rawOptions);
    options.reset(rawOptions);
    const bool taken = headerResult >= 0 && av_write_trailer(trial.get()) >= 0;
    trial->pb = nullptr;
    return taken;
}

const char* KindName(AVMediaType type) {
    const char* name = av_get_media_type_string(type);
    return name != nullptr ? name : "unknown";
}

} // namespace

std::vector<KeptAs> PlanKeptStreams(const AVFormatContext& input, const AVOutputFormat& muxer,
                                    const Turn& turn) {
    std::vector<KeptAs> planned(input.nb_streams, KeptAs::kLeftOut);
    for (unsigned i = 0; i < input.nb_streams; ++i) {
        const AVStream& stream = *input.streams[i];
        const AVMediaType type = stream.codecpar->codec_type;
        if (IsIgnoredCodec(stream.codecpar->codec_id) || type == AVMEDIA_TYPE_UNKNOWN) {
            continue;
        }
        planned[i] =
            IsCoverPicture(stream) && IsMatroskaMuxer(muxer) ? KeptAs::kCoverAttachment : KeptAs::kStream;
    }
    if (MuxerTakes(input, muxer, planned, turn)) {
        return planned;
    }
    // Find what the muxer refuses: the picture and sound alone, then each other stream added in turn.
    std::vector<KeptAs> kept(input.nb_streams, KeptAs::kLeftOut);
    for (unsigned i = 0; i < input.nb_streams; ++i) {
        if (IsPictureOrSound(*input.streams[i])) {
            kept[i] = planned[i];
        }
    }
    for (unsigned i = 0; i < input.nb_streams; ++i) {
        if (kept[i] != KeptAs::kLeftOut || planned[i] == KeptAs::kLeftOut) {
            continue;
        }
        kept[i] = planned[i];
        if (!MuxerTakes(input, muxer, kept, turn)) {
            kept[i] = KeptAs::kLeftOut;
            const AVCodecParameters& params = *input.streams[i]->codecpar;
            av_log(nullptr, AV_LOG_WARNING,
                   "quarnix: %s stream %u (%s) left out: the %s muxer does not take it\n",
                   KindName(params.codec_type), i, avcodec_get_name(params.codec_id), muxer.name);
        }
    }
    return kept;
}

AVStream* AddKeptStream(AVFormatContext& output, const AVStream& inStream, KeptAs how, const Turn& turn) {
    AVStream* outStream = avformat_new_stream(&output, nullptr);
    if (outStream == nullptr) {
        return nullptr;
    }
    // Language, title, handler name, timecode: everything the input says about the stream.
    if (av_dict_copy(&outStream->metadata, inStream.metadata, 0) < 0) {
        return nullptr;
    }
    // QuickTime (not MP4) stores a language as a Macintosh language code, which exists only for the
    // bibliographic spelling of ISO 639-2 ("ger", not "deu"); any other spelling would be lost.
    if (const AVDictionaryEntry* language = av_dict_get(inStream.metadata, "language", nullptr, 0);
        language != nullptr && std::string_view(output.oformat->name) == "mov") {
        if (const char* bibliographic = BibliographicLanguage(language->value);
            bibliographic != nullptr && av_dict_set(&outStream->metadata, "language", bibliographic, 0) < 0) {
            return nullptr;
        }
    }
    if (how == KeptAs::kCoverAttachment) {
        return MakeCoverAttachment(inStream, *outStream) < 0 ? nullptr : outStream;
    }
    if (avcodec_parameters_copy(outStream->codecpar, inStream.codecpar) < 0) {
        return nullptr;
    }
    outStream->codecpar->codec_tag = KeptCodecTag(*output.oformat, *inStream.codecpar);
    outStream->time_base = inStream.time_base;
    outStream->disposition = inStream.disposition;
    // The container's aspect ratio wins over the codec's, and both must agree or the muxer refuses the
    // stream (a side-by-side 3D file has a container ratio of 2:1 over square pixels).
    const AVRational aspect = inStream.sample_aspect_ratio.num != 0 ? inStream.sample_aspect_ratio
                                                                    : inStream.codecpar->sample_aspect_ratio;
    outStream->sample_aspect_ratio = outStream->codecpar->sample_aspect_ratio = aspect;
    // The muxers take the frame rate from the stream: Matroska writes it as the default duration, QuickTime
    // needs it for a timecode track.
    outStream->avg_frame_rate = inStream.avg_frame_rate;
    outStream->r_frame_rate = inStream.r_frame_rate;
    if (CopySideData(inStream, *outStream) < 0) {
        return nullptr;
    }
    if (IsPictureOrSound(inStream) && inStream.codecpar->codec_type == AVMEDIA_TYPE_VIDEO) {
        // The turn adds to what players show of the input now (its matrix, or its Matroska roll).
        const DisplayTransform transform = TurnedTransform(turn, StreamDisplayTransform(inStream));
        return MarkStreamRotated(*outStream, transform, true) < 0 ? nullptr : outStream;
    }
    // Only video tracks carry a rotation; a tag copied onto any other stream would be false.
    av_dict_set(&outStream->metadata, "rotate", nullptr, 0);
    return outStream;
}

int CopyChapters(const AVFormatContext& input, AVFormatContext& output, std::int64_t shiftMicroseconds) {
    for (unsigned i = 0; i < input.nb_chapters; ++i) {
        const AVChapter& from = *input.chapters[i];
        const std::int64_t shift =
            av_rescale_q(shiftMicroseconds, AVRational{1, AV_TIME_BASE}, from.time_base);
        auto* chapter = static_cast<AVChapter*>(av_mallocz(sizeof(AVChapter)));
        if (chapter == nullptr) {
            return AVERROR(ENOMEM);
        }
        chapter->id = from.id;
        chapter->time_base = from.time_base;
        chapter->start = std::max<std::int64_t>(0, from.start - shift);
        chapter->end = std::max<std::int64_t>(chapter->start, from.end - shift);
        if (int rc = av_dict_copy(&chapter->metadata, from.metadata, 0); rc < 0) {
            av_dict_free(&chapter->metadata);
            av_free(chapter);
            return rc;
        }
        int count = static_cast<int>(output.nb_chapters);
        if (int rc = av_dynarray_add_nofree(&output.chapters, &count, chapter); rc < 0) {
            av_dict_free(&chapter->metadata);
            av_free(chapter);
            return rc;
        }
        output.nb_chapters = static_cast<unsigned>(count);
    }
    return 0;
}

} // namespace quarnix
