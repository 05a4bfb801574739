// "Turn the pictures": the first video stream is decoded, turned by a filter graph into the transform
// players would show after the turn, and encoded as H.264 with constant quality; every other stream is
// copied packet by packet. Source timestamps are kept on both, so the sound stays where it was against the
// picture, every frame is kept (the decoder, filters and encoder are drained) and so is the frame rate.
#include "engine/batch/FilePercent.h"
#include "engine/probe/StreamSelection.h"
#include "engine/reencode/Reencode.h"
#include "engine/remux/StreamKeeping.h"
#include "engine/remux/StreamRotation.h"

#include <array>
#include <string_view>

extern "C" {
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
}

namespace quarnix {

namespace {

// Pixel formats the H.264 encoder takes as they are; anything else is encoded as 8-bit 4:2:0.
constexpr std::array kKeptPixelFormats = {AV_PIX_FMT_YUV420P,     AV_PIX_FMT_YUV422P,
                                          AV_PIX_FMT_YUV444P,     AV_PIX_FMT_YUV420P10LE,
                                          AV_PIX_FMT_YUV422P10LE, AV_PIX_FMT_YUV444P10LE};

AVPixelFormat EncodedPixelFormat(AVPixelFormat decoded) {
    for (AVPixelFormat kept : kKeptPixelFormats) {
        if (kept == decoded) {
            return kept;
        }
    }
    return AV_PIX_FMT_YUV420P;
}

int FirstTurnedStream(const AVFormatContext& input) {
    for (unsigned i = 0; i < input.nb_streams; ++i) {
        const AVStream& stream = *input.streams[i];
        if (stream.codecpar->codec_type == AVMEDIA_TYPE_VIDEO && !IsCoverPicture(stream) &&
            !IsIgnoredCodec(stream.codecpar->codec_id)) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

int OpenTurnDecoder(const AVStream& stream, const AVFormatContext& input, PictureTurn& turn) {
    const AVCodec* codec = avcodec_find_decoder(stream.codecpar->codec_id);
    if (codec == nullptr) {
        return AVERROR_DECODER_NOT_FOUND;
    }
    turn.decoder.reset(avcodec_alloc_context3(codec));
    if (!turn.decoder) {
        return AVERROR(ENOMEM);
    }
    if (int rc = avcodec_parameters_to_context(turn.decoder.get(), stream.codecpar); rc < 0) {
        return rc;
    }
    turn.decoder->pkt_timebase = stream.time_base;
    turn.decoder->framerate =
        av_guess_frame_rate(const_cast<AVFormatContext*>(&input), const_cast<AVStream*>(&stream), nullptr);
    turn.decoder->thread_count = 0; // as many as the machine has
    return avcodec_open2(turn.decoder.get(), codec, nullptr);
}

// buffer -> the turn -> format -> buffersink, for the decoder's pictures in the stream's time base.
int BuildTurnGraph(const AVStream& stream, const DisplayTransform& transform, PictureTurn& turn) {
    const AVCodecContext& decoder = *turn.decoder;
    turn.graph.reset(avfilter_graph_alloc());
    if (!turn.graph) {
        return AVERROR(ENOMEM);
    }
    turn.graph->nb_threads = 0;
    const AVRational aspect =
        decoder.sample_aspect_ratio.num > 0 ? decoder.sample_aspect_ratio : AVRational{1, 1};
    const char* decodedName = av_get_pix_fmt_name(decoder.pix_fmt);
    if (decodedName == nullptr) {
        return AVERROR(EINVAL);
    }
    const std::string sourceArguments =
        "video_size=" + std::to_string(decoder.width) + "x" + std::to_string(decoder.height) +
        ":pix_fmt=" + decodedName + ":time_base=" + std::to_string(stream.time_base.num) + "/" +
        std::to_string(stream.time_base.den) + ":pixel_aspect=" + std::to_string(aspect.num) + "/" +
        std::to_string(aspect.den);
    if (int rc = avfilter_graph_create_filter(&turn.source, avfilter_get_by_name("buffer"), "in",
                                              sourceArguments.c_str(), nullptr, turn.graph.get());
        rc < 0) {
        return rc;
    }
    if (int rc = avfilter_graph_create_filter(&turn.sink, avfilter_get_by_name("buffersink"), "out", nullptr,
                                              nullptr, turn.graph.get());
        rc < 0) {
        return rc;
    }
    const std::string chain = TurnFilterChain(transform) +
                              ",format=pix_fmts=" + av_get_pix_fmt_name(EncodedPixelFormat(decoder.pix_fmt));
    AVFilterInOut* outputs = avfilter_inout_alloc();
    AVFilterInOut* inputs = avfilter_inout_alloc();
    int rc = (outputs == nullptr || inputs == nullptr) ? AVERROR(ENOMEM) : 0;
    if (rc >= 0) {
        outputs->name = av_strdup("in");
        outputs->filter_ctx = turn.source;
        inputs->name = av_strdup("out");
        inputs->filter_ctx = turn.sink;
        rc = avfilter_graph_parse_ptr(turn.graph.get(), chain.c_str(), &inputs, &outputs, nullptr);
    }
    avfilter_inout_free(&inputs);
    avfilter_inout_free(&outputs);
    if (rc < 0) {
        return rc;
    }
    return avfilter_graph_config(turn.graph.get(), nullptr);
}

int OpenTurnEncoder(const AVFormatContext& output, PictureTurn& turn) {
    const AVCodec* codec = avcodec_find_encoder_by_name("libx264");
    if (codec == nullptr) {
        codec = avcodec_find_encoder(AV_CODEC_ID_H264);
    }
    if (codec == nullptr) {
        return AVERROR_ENCODER_NOT_FOUND;
    }
    turn.encoder.reset(avcodec_alloc_context3(codec));
    if (!turn.encoder) {
        return AVERROR(ENOMEM);
    }
    AVCodecContext& encoder = *turn.encoder;
    const AVCodecContext& decoder = *turn.decoder;
    encoder.width = av_buffersink_get_w(turn.sink);
    encoder.height = av_buffersink_get_h(turn.sink);
    encoder.pix_fmt = static_cast<AVPixelFormat>(av_buffersink_get_format(turn.sink));
    encoder.sample_aspect_ratio = av_buffersink_get_sample_aspect_ratio(turn.sink); // turned with the picture
    encoder.time_base = av_buffersink_get_time_base(turn.sink);
    encoder.framerate = decoder.framerate;
    encoder.color_range = decoder.color_range;
    encoder.color_primaries = decoder.color_primaries;
    encoder.color_trc = decoder.color_trc;
    encoder.colorspace = decoder.colorspace;
    encoder.chroma_sample_location = decoder.chroma_sample_location;
    encoder.thread_count = 0;
    if (output.oformat->flags & AVFMT_GLOBALHEADER) {
        encoder.flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    }
    AVDictionary* rawOptions = nullptr;
    int rc = av_dict_set(&rawOptions, "preset", "veryfast", 0);
    if (rc >= 0) {
        rc = av_dict_set(&rawOptions, "crf", kTurnedPictureQuality, 0);
    }
    if (rc >= 0) {
        rc = avcodec_open2(&encoder, codec, &rawOptions);
    }
    const DictionaryPtr leftOptions(rawOptions);
    return rc;
}

// The output stream of the turned pictures: the input stream's facts, the encoder's picture, no mark.
int AddTurnedStream(AVFormatContext& output, const AVStream& inStream, PictureTurn& turn) {
    AVStream* outStream = avformat_new_stream(&output, nullptr);
    if (outStream == nullptr) {
        return AVERROR(ENOMEM);
    }
    if (int rc = av_dict_copy(&outStream->metadata, inStream.metadata, 0); rc < 0) {
        return rc;
    }
    if (int rc = av_dict_set(&outStream->metadata, "rotate", nullptr, 0); rc < 0) {
        return rc;
    }
    if (int rc = avcodec_parameters_from_context(outStream->codecpar, turn.encoder.get()); rc < 0) {
        return rc;
    }
    outStream->time_base = turn.encoder->time_base;
    outStream->sample_aspect_ratio = turn.encoder->sample_aspect_ratio;
    outStream->avg_frame_rate = inStream.avg_frame_rate;
    outStream->r_frame_rate = inStream.r_frame_rate;
    outStream->disposition = inStream.disposition;
    turn.outputStream = outStream->index;
    return 0;
}

double SecondsOf(std::int64_t timestamp, AVRational timeBase) {
    return timestamp == AV_NOPTS_VALUE ? 0.0 : static_cast<double>(timestamp) * av_q2d(timeBase);
}

// Writes every packet the encoder has ready. False when the entry failed.
bool WriteTurnedPackets(CConvertJob& job, EntryState& entry, AVPacket& packet) {
    PictureTurn& turn = entry.pictureTurn;
    const AVStream& outStream = *entry.output->streams[turn.outputStream];
    for (;;) {
        const int rc = avcodec_receive_packet(turn.encoder.get(), &packet);
        if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF) {
            return true;
        }
        if (rc < 0) {
            FailEntry(entry, FailedStep::kWriteOutput, "encoding a turned picture", rc);
            return false;
        }
        av_packet_rescale_ts(&packet, turn.encoder->time_base, outStream.time_base);
        packet.stream_index = turn.outputStream;
        job.m_videoClock = SecondsOf(packet.pts, outStream.time_base);
        if (!WriteEncodedPacket(entry, packet)) {
            return false;
        }
        ++entry.videoPacketsWritten;
    }
}

// Sends what the filters have turned to the encoder (nullptr at the end: drains the encoder).
bool EncodeTurnedPictures(CConvertJob& job, EntryState& entry, AVPacket& packet, bool ending) {
    PictureTurn& turn = entry.pictureTurn;
    for (;;) {
        const int rc = av_buffersink_get_frame(turn.sink, turn.turned.get());
        if (rc == AVERROR(EAGAIN)) {
            return true;
        }
        if (rc == AVERROR_EOF) {
            break;
        }
        if (rc < 0) {
            FailEntry(entry, FailedStep::kWriteOutput, "turning a picture", rc);
            return false;
        }
        // The source's picture types must not force the encoder's choice of key frames.
        turn.turned->pict_type = AV_PICTURE_TYPE_NONE;
        const int sent = avcodec_send_frame(turn.encoder.get(), turn.turned.get());
        av_frame_unref(turn.turned.get());
        if (sent < 0) {
            FailEntry(entry, FailedStep::kWriteOutput, "encoding a turned picture", sent);
            return false;
        }
        if (!WriteTurnedPackets(job, entry, packet)) {
            return false;
        }
    }
    if (!ending) {
        return true;
    }
    if (int rc = avcodec_send_frame(turn.encoder.get(), nullptr); rc < 0 && rc != AVERROR_EOF) {
        FailEntry(entry, FailedStep::kWriteOutput, "ending the video encoder", rc);
        return false;
    }
    return WriteTurnedPackets(job, entry, packet);
}

// Takes every picture the decoder has ready through the filters (packet null: drains the decoder).
bool DecodeAndTurn(CConvertJob& job, EntryState& entry, const AVPacket* packet, AVPacket& encoded) {
    PictureTurn& turn = entry.pictureTurn;
    if (int rc = avcodec_send_packet(turn.decoder.get(), packet); rc < 0 && rc != AVERROR_EOF) {
        // A damaged packet loses its picture, as a player would; the rest goes on.
        LogEntryFailure(entry, "decoding a picture", rc);
        return true;
    }
    for (;;) {
        const int rc = avcodec_receive_frame(turn.decoder.get(), turn.decoded.get());
        if (rc == AVERROR(EAGAIN)) {
            return true;
        }
        if (rc == AVERROR_EOF) {
            break;
        }
        if (rc < 0) {
            LogEntryFailure(entry, "decoding a picture", rc);
            return true;
        }
        turn.decoded->pts = turn.decoded->best_effort_timestamp;
        const int added = av_buffersrc_add_frame_flags(turn.source, turn.decoded.get(), 0);
        av_frame_unref(turn.decoded.get());
        if (added < 0) {
            FailEntry(entry, FailedStep::kWriteOutput, "turning a picture", added);
            return false;
        }
        if (!EncodeTurnedPictures(job, entry, encoded, false)) {
            return false;
        }
    }
    if (int rc = av_buffersrc_add_frame_flags(turn.source, nullptr, 0); rc < 0) {
        FailEntry(entry, FailedStep::kWriteOutput, "turning a picture", rc);
        return false;
    }
    return EncodeTurnedPictures(job, entry, encoded, true);
}

} // namespace

std::string TurnFilterChain(const DisplayTransform& transform) {
    std::string chain = transform.mirrored ? "hflip" : "";
    const char* turn = nullptr;
    switch (NormalizedDegrees(transform.clockwise)) {
    case 90:
        turn = "transpose=clock";
        break;
    case 180:
        turn = "hflip,vflip";
        break;
    case 270:
        turn = "transpose=cclock";
        break;
    default:
        break;
    }
    if (turn != nullptr) {
        chain += (chain.empty() ? "" : ",") + std::string(turn);
    }
    return chain.empty() ? "null" : chain;
}

int CreateTurnedStreams([[maybe_unused]] CConvertJob& job, EntryState& entry) {
    AVFormatContext& input = *entry.input;
    AVFormatContext& output = *entry.output;
    PictureTurn& turn = entry.pictureTurn;
    if (int rc = av_dict_copy(&output.metadata, input.metadata, 0); rc < 0) {
        return rc;
    }
    turn.inputStream = FirstTurnedStream(input);
    if (turn.inputStream < 0) {
        return AVERROR_STREAM_NOT_FOUND;
    }
    const AVStream& video = *input.streams[turn.inputStream];
    // The pictures end up as players show them now, turned: the input's mark is applied to them and none
    // is written.
    const DisplayTransform transform = TurnedTransform(entry.turn, StreamDisplayTransform(video));
    turn.decoded.reset(av_frame_alloc());
    turn.turned.reset(av_frame_alloc());
    if (!turn.decoded || !turn.turned) {
        return AVERROR(ENOMEM);
    }
    if (int rc = OpenTurnDecoder(video, input, turn); rc < 0) {
        return rc;
    }
    if (int rc = BuildTurnGraph(video, transform, turn); rc < 0) {
        return rc;
    }
    if (int rc = OpenTurnEncoder(output, turn); rc < 0) {
        return rc;
    }
    // Every other stream is copied as the stream copy copies it, each keeping its own mark.
    const std::vector<KeptAs> plan = PlanKeptStreams(input, *output.oformat, Turn::Clockwise(0));
    for (unsigned i = 0; i < input.nb_streams; ++i) {
        if (static_cast<int>(i) == turn.inputStream) {
            if (int rc = AddTurnedStream(output, video, turn); rc < 0) {
                return rc;
            }
            entry.slots[i].outputIndex = turn.outputStream;
            entry.outputVideoStream = turn.outputStream;
            continue;
        }
        if (plan[i] == KeptAs::kLeftOut) {
            continue;
        }
        const AVStream* copied = AddKeptStream(output, *input.streams[i], plan[i], Turn::Clockwise(0));
        if (copied == nullptr) {
            return AVERROR(ENOMEM);
        }
        entry.slots[i].outputIndex = copied->index;
    }
    return CopyChapters(input, output, 0);
}

int RunTurnPicturesLoop(CConvertJob& job, EntryState& entry) {
    PacketPtr packet = MakePacket();
    PacketPtr encoded = MakePacket();
    if (!packet || !encoded) {
        FailEntry(entry, FailedStep::kWriteOutput, "allocating a packet", AVERROR(ENOMEM));
        return 0;
    }
    AVFormatContext& input = *entry.input;
    const auto index = static_cast<std::size_t>(entry.index);
    const int turned = entry.pictureTurn.inputStream;
    while (ReadNextPacket(job, entry, *packet)) {
        const int s = packet->stream_index;
        const int out = s >= 0 && s < static_cast<int>(entry.slots.size())
                            ? entry.slots[static_cast<std::size_t>(s)].outputIndex
                            : -1;
        bool going = true;
        if (s == turned) {
            going = DecodeAndTurn(job, entry, packet.get(), *encoded);
            // The decoder only ends at the end of the input: a packet alone never drains it.
        } else if (out >= 0) {
            const AVStream& outStream = *entry.output->streams[out];
            av_packet_rescale_ts(packet.get(), input.streams[s]->time_base, outStream.time_base);
            packet->stream_index = out;
            packet->pos = -1;
            if (outStream.codecpar->codec_type == AVMEDIA_TYPE_AUDIO) {
                job.m_audioClock = SecondsOf(packet->pts, outStream.time_base);
            }
            going = WriteEncodedPacket(entry, *packet);
        }
        av_packet_unref(packet.get());
        job.m_filePercent.store(
            ComputeFilePercent(job.m_audioClock, job.m_videoClock, job.m_fileDuration[index]),
            std::memory_order_relaxed);
        if (!going) {
            return 0;
        }
    }
    if (entry.failed || entry.cancelled) {
        return 0;
    }
    // The end of the input: every picture the decoder, the filters and the encoder still hold is written.
    DecodeAndTurn(job, entry, nullptr, *encoded);
    return 0;
}

} // namespace quarnix
