// Re-encode mode, set-up: output streams and encoders from the job's targets before the header, the
// resampler, the scaler and the picture buffer after it.
#include "engine/Rotation.h"
#include "engine/io/FfmpegError.h"
#include "engine/io/FfmpegVersion.h"
#include "engine/reencode/Reencode.h"
#include "engine/reencode/VideoTimeBase.h"
#include "engine/remux/StreamRotation.h"

extern "C" {
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
}

namespace quarnix {

namespace {

constexpr int kEncoderThreads = 4;
constexpr int kPictureAlignment = 32; // lets the scaler use its aligned code paths

AVPixelFormat FirstPixelFormat(const AVCodec& codec, AVPixelFormat fallback) {
#if QUARNIX_SUPPORTED_CONFIG
    const void* formats = nullptr;
    int count = 0;
    if (avcodec_get_supported_config(nullptr, &codec, AV_CODEC_CONFIG_PIX_FORMAT, 0, &formats, &count) >= 0 &&
        formats != nullptr && count > 0) {
        return static_cast<const AVPixelFormat*>(formats)[0];
    }
    return fallback;
#else
    return (codec.pix_fmts != nullptr && codec.pix_fmts[0] != AV_PIX_FMT_NONE) ? codec.pix_fmts[0] : fallback;
#endif
}

AVSampleFormat FirstSampleFormat(const AVCodec& codec, AVSampleFormat fallback) {
#if QUARNIX_SUPPORTED_CONFIG
    const void* formats = nullptr;
    int count = 0;
    if (avcodec_get_supported_config(nullptr, &codec, AV_CODEC_CONFIG_SAMPLE_FORMAT, 0, &formats, &count) >=
            0 &&
        formats != nullptr && count > 0) {
        return static_cast<const AVSampleFormat*>(formats)[0];
    }
    return fallback;
#else
    return (codec.sample_fmts != nullptr && codec.sample_fmts[0] != AV_SAMPLE_FMT_NONE) ? codec.sample_fmts[0]
                                                                                        : fallback;
#endif
}

void ConfigureVideoEncoder(CConvertJob& job, const AVStream& inStream, const AVCodecContext& decoder,
                           const AVCodec& codec, AVCodecContext& encoder) {
    encoder.sample_aspect_ratio = decoder.sample_aspect_ratio;
    encoder.codec_type = AVMEDIA_TYPE_VIDEO;
    if (job.m_keepSourceSize != 0) {
        job.m_targetWidth = decoder.width;
        job.m_targetHeight = decoder.height;
    }
    encoder.width = job.m_targetWidth;
    encoder.height = job.m_targetHeight;
    encoder.bit_rate = job.m_videoBitRate != 0 ? job.m_videoBitRate : decoder.bit_rate;
    encoder.pix_fmt = FirstPixelFormat(codec, decoder.pix_fmt);
    if (codec.id == AV_CODEC_ID_H264) {
        encoder.max_b_frames = 0;
    }
    // Pictures are numbered 0, 1, 2, ... in this time base, so each one lasts exactly one tick.
    encoder.time_base =
        VideoEncoderTimeBase(decoder.framerate, inStream.avg_frame_rate, job.m_targetFrameRate, codec.id);
    encoder.framerate = av_inv_q(encoder.time_base);
}

void ConfigureAudioEncoder(const CConvertJob& job, const AVCodec& codec, AVCodecContext& encoder) {
    encoder.sample_rate = job.m_sampleRate;
    encoder.sample_fmt = FirstSampleFormat(codec, AV_SAMPLE_FMT_FLTP);
    if (codec.id == AV_CODEC_ID_AAC || codec.id == AV_CODEC_ID_MP3) {
        encoder.sample_fmt = AV_SAMPLE_FMT_FLTP;
    }
    encoder.time_base = AVRational{1, job.m_sampleRate};
    encoder.codec_type = AVMEDIA_TYPE_AUDIO;
    encoder.bit_rate = job.m_audioBitRate;
    av_channel_layout_uninit(&encoder.ch_layout);
    av_channel_layout_default(&encoder.ch_layout, job.m_channels);
}

// A stream that cannot get an encoder is left out of the output; the entry goes on but ends as failed.
void PassOverStream(EntryState& entry, const char* step, int errorCode) {
    LogEntryFailure(entry, step, errorCode);
    entry.failed = true;
}

// Streams with a decoder that are neither audio nor video keep their parameters; no packets reach them.
int CreatePassThroughStream(EntryState& entry, const AVStream& inStream, StreamSlot& slot) {
    AVStream* outStream = avformat_new_stream(entry.output.get(), nullptr);
    if (outStream == nullptr) {
        PassOverStream(entry, "creating an output stream", AVERROR(ENOMEM));
        return 0;
    }
    if (int rc = avcodec_parameters_copy(outStream->codecpar, inStream.codecpar); rc < 0) {
        return rc;
    }
    outStream->time_base = inStream.time_base;
    slot.outputIndex = outStream->index;
    return 0;
}

int CreateEncodedStream(CConvertJob& job, EntryState& entry, const AVStream& inStream, StreamSlot& slot) {
    const AVCodecContext& decoder = *slot.decoder;
    const bool isVideo = decoder.codec_type == AVMEDIA_TYPE_VIDEO;
    const auto codecId = static_cast<AVCodecID>(isVideo ? job.m_videoCodecId : job.m_audioCodecId);
    const AVCodec* codec = avcodec_find_encoder(codecId);
    if (codec == nullptr || codec->type != decoder.codec_type) {
        PassOverStream(entry, isVideo ? "finding the video encoder" : "finding the audio encoder",
                       AVERROR_ENCODER_NOT_FOUND);
        return 0;
    }
    CodecContextPtr encoder(avcodec_alloc_context3(codec));
    if (!encoder) {
        PassOverStream(entry, "allocating an encoder", AVERROR(ENOMEM));
        return 0;
    }
    // The output stream is created only once its encoder exists: an output stream without codec
    // parameters would make the header fail and lose the whole file.
    AVStream* outStream = avformat_new_stream(entry.output.get(), nullptr);
    if (outStream == nullptr) {
        PassOverStream(entry, "creating an output stream", AVERROR(ENOMEM));
        return 0;
    }

    if (isVideo) {
        ConfigureVideoEncoder(job, inStream, decoder, *codec, *encoder);
    } else {
        ConfigureAudioEncoder(job, *codec, *encoder);
    }
    if (entry.output->oformat->flags & AVFMT_GLOBALHEADER) {
        encoder->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    }
    encoder->thread_count = kEncoderThreads;

    // The open call takes the options it uses out of the dictionary and may replace it; what it hands back
    // is owned again at once.
    AVDictionary* rawOptions = nullptr;
    int rc = av_dict_set(&rawOptions, "preset", "veryfast", 0);
    if (rc >= 0) {
        rc = avcodec_open2(encoder.get(), codec, &rawOptions);
    }
    const DictionaryPtr leftOptions(rawOptions);
    if (rc < 0) {
        return rc;
    }
    if (rc = avcodec_parameters_from_context(outStream->codecpar, encoder.get()); rc < 0) {
        return rc;
    }
    outStream->time_base = encoder->time_base;
    if (isVideo) {
        // The rotation travels as metadata on the encoded picture only; audio carries none.
        if (rc = MarkStreamRotated(*outStream, DisplayTransform{NormalizedDegrees(job.m_rotation), false},
                                   true);
            rc < 0) {
            return rc;
        }
    } else {
        slot.audioFifo.reset(av_audio_fifo_alloc(encoder->sample_fmt, encoder->ch_layout.nb_channels,
                                                 AudioChunkSamples(*encoder)));
        if (!slot.audioFifo) {
            return AVERROR(ENOMEM);
        }
        slot.nextAudioPts = 0;
    }
    slot.encoder = std::move(encoder);
    slot.outputIndex = outStream->index;
    return 0;
}

AudioFormat AudioFormatOf(const AVCodecContext& context) {
    return AudioFormat{context.sample_fmt, context.sample_rate, context.ch_layout.nb_channels};
}

void SetUpResampler(EntryState& entry, const AVCodecContext& decoder, const AVCodecContext& encoder) {
    // Containers that only count channels leave the layout unspecified; the resampler needs a real one.
    AVChannelLayout inputLayout{};
    int rc = decoder.ch_layout.order == AV_CHANNEL_ORDER_UNSPEC
                 ? (av_channel_layout_default(&inputLayout, decoder.ch_layout.nb_channels), 0)
                 : av_channel_layout_copy(&inputLayout, &decoder.ch_layout);
    SwrContext* raw = nullptr;
    if (rc >= 0) {
        // Older libraries take the layouts as non-const pointers; they are only read.
        rc = swr_alloc_set_opts2(&raw, const_cast<AVChannelLayout*>(&encoder.ch_layout), encoder.sample_fmt,
                                 encoder.sample_rate, &inputLayout, decoder.sample_fmt, decoder.sample_rate,
                                 0, nullptr);
    }
    av_channel_layout_uninit(&inputLayout);
    ResamplerPtr resampler(raw);
    if (rc >= 0) {
        rc = swr_init(resampler.get());
    }
    if (rc < 0) {
        // The file goes on without conversion; audio that does not fit the encoder is then left out.
        LogEntryFailure(entry, "setting up the audio resampler", rc);
        return;
    }
    entry.resampler = std::move(resampler);
    entry.resamplerInput = AudioFormatOf(decoder);
}

int SetUpPictureBuffer(EntryState& entry, const AVCodecContext& encoder) {
    const int size =
        av_image_get_buffer_size(encoder.pix_fmt, encoder.width, encoder.height, kPictureAlignment);
    if (size < 0) {
        return size;
    }
    entry.pictureBuffer.reset(static_cast<std::uint8_t*>(av_malloc(static_cast<std::size_t>(size))));
    if (!entry.pictureBuffer) {
        return AVERROR(ENOMEM);
    }
    AVFrame& scaled = *entry.scaledFrame;
    if (int rc = av_image_fill_arrays(scaled.data, scaled.linesize, entry.pictureBuffer.get(),
                                      encoder.pix_fmt, encoder.width, encoder.height, kPictureAlignment);
        rc < 0) {
        return rc;
    }
    scaled.width = encoder.width;
    scaled.height = encoder.height;
    scaled.format = encoder.pix_fmt;
    return 0;
}

} // namespace

int AudioChunkSamples(const AVCodecContext& encoder) {
    constexpr int kVariableChunk = 1024;
    return encoder.frame_size > 0 ? encoder.frame_size : kVariableChunk;
}

bool NeedsResampler(const AVCodecContext& decoder, const AVCodecContext& encoder) {
    return !(AudioFormatOf(decoder) == AudioFormatOf(encoder));
}

int CreateReencodeStreams(CConvertJob& job, EntryState& entry) {
    AVFormatContext& input = *entry.input;
    for (unsigned i = 0; i < input.nb_streams; ++i) {
        StreamSlot& slot = entry.slots[i];
        if (!slot.decoder) {
            continue;
        }
        const AVStream& inStream = *input.streams[i];
        const AVMediaType type = slot.decoder->codec_type;
        int rc = 0;
        if (type == AVMEDIA_TYPE_VIDEO || type == AVMEDIA_TYPE_AUDIO) {
            // Packets reach the decoder in the stream's own time base.
            slot.decoder->pkt_timebase = inStream.time_base;
            rc = CreateEncodedStream(job, entry, inStream, slot);
        } else if (type != AVMEDIA_TYPE_UNKNOWN) {
            rc = CreatePassThroughStream(entry, inStream, slot);
        }
        if (rc < 0) {
            return rc;
        }
    }
    // The pictures and samples that are converted are those of the input video and audio stream; they go to
    // the output streams made for them.
    if (entry.inputVideoStream >= 0 && entry.slots[entry.inputVideoStream].encoder) {
        entry.outputVideoStream = entry.slots[entry.inputVideoStream].outputIndex;
    }
    if (entry.inputAudioStream >= 0 && entry.slots[entry.inputAudioStream].encoder) {
        entry.outputAudioStream = entry.slots[entry.inputAudioStream].outputIndex;
    }
    return 0;
}

int SetUpReencodeConverters(const CConvertJob& job, EntryState& entry) {
    entry.decodedFrame = MakeFrame();
    entry.scaledFrame = MakeFrame();
    if (!entry.decodedFrame || !entry.scaledFrame) {
        return AVERROR(ENOMEM);
    }
    if (entry.outputAudioStream >= 0) {
        const StreamSlot& slot = entry.slots[entry.inputAudioStream];
        if (NeedsResampler(*slot.decoder, *slot.encoder)) {
            SetUpResampler(entry, *slot.decoder, *slot.encoder);
        }
    }
    if (entry.outputVideoStream >= 0) {
        const StreamSlot& slot = entry.slots[entry.inputVideoStream];
        const AVCodecContext& decoder = *slot.decoder;
        const AVCodecContext& encoder = *slot.encoder;
        if (int rc = SetUpPictureBuffer(entry, encoder); rc < 0) {
            return rc;
        }
        const AVCodecParameters& source = *entry.input->streams[entry.inputVideoStream]->codecpar;
        const bool resized = job.m_targetWidth != 0 && job.m_targetHeight != 0 &&
                             (encoder.width != source.width || encoder.height != source.height);
        if (resized || decoder.pix_fmt != encoder.pix_fmt) {
            BuildScaler(entry, PictureFormat{decoder.width, decoder.height, decoder.pix_fmt}, encoder);
        }
    }
    return 0;
}

} // namespace quarnix
