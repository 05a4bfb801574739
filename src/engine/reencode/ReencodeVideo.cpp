// Re-encode mode, video path: every decoded picture is numbered in the encoder's time base (one tick per
// picture), brought to the encoder's size and pixel format when needed, encoded and written.
#include "engine/io/FfmpegVersion.h"
#include "engine/reencode/Reencode.h"

namespace quarnix {

namespace {

// Encoded decoding timestamps outside this range are taken as missing.
constexpr std::int64_t kMinValidDts = -9'000'000'000'000;
constexpr std::int64_t kMaxValidDts = 1'000'000'000'000;

double SecondsOf(std::int64_t timestamp, AVRational timeBase) {
    return static_cast<double>(static_cast<long double>(timestamp) * timeBase.num / timeBase.den);
}

// A packet without a usable decoding timestamp is numbered on from the last good one.
void RepairVideoTimestamps(EntryState& entry, AVPacket& packet) {
    if (packet.dts < kMinValidDts || packet.dts > kMaxValidDts) {
        ++entry.videoPacketCounter;
        packet.dts = packet.pts = entry.videoPacketCounter;
    } else {
        entry.videoPacketCounter = static_cast<std::int32_t>(packet.dts);
    }
}

void WriteVideoPackets(CConvertJob& job, EntryState& entry, AVCodecContext& encoder) {
    PacketPtr packet = MakePacket();
    if (!packet) {
        LogEntryFailure(entry, "allocating a packet", AVERROR(ENOMEM));
        entry.failed = true;
        return;
    }
    const AVStream& outStream = *entry.output->streams[entry.outputVideoStream];
    for (;;) {
        const int rc = avcodec_receive_packet(&encoder, packet.get());
        if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF) {
            return;
        }
        if (rc < 0) {
            // The encoder lost what it was given: the output misses part of the input.
            LogEntryFailure(entry, "encoding a picture", rc);
            entry.failed = true;
            return;
        }
        RepairVideoTimestamps(entry, *packet);
        if (packet->duration == 0) {
            packet->duration = 1; // every picture lasts one tick of the encoder's time base
        }
        av_packet_rescale_ts(packet.get(), encoder.time_base, outStream.time_base);
        packet->stream_index = entry.outputVideoStream;
        job.m_videoClock = SecondsOf(packet->pts, outStream.time_base);
        if (!WriteEncodedPacket(entry, *packet)) {
            return;
        }
        ++entry.videoPacketsWritten;
    }
}

} // namespace

bool BuildScaler(EntryState& entry, const PictureFormat& source, const AVCodecContext& encoder) {
    // Remembered even when it fails, so that pictures of the same geometry do not retry (and re-log) it.
    entry.scalerInput = source;
    entry.scaler.reset(sws_getContext(
        source.width, source.height, static_cast<AVPixelFormat>(source.pixelFormat), encoder.width,
        encoder.height, encoder.pix_fmt, SWS_FAST_BILINEAR, nullptr, nullptr, nullptr));
    if (!entry.scaler) {
        LogEntryFailure(entry, "setting up the picture scaler", AVERROR(EINVAL));
        return false;
    }
    return true;
}

int EncodeVideoFrame(CConvertJob& job, EntryState& entry, AVFrame& frame) {
    AVCodecContext& encoder = *entry.slots[entry.inputVideoStream].encoder;
    // Source timestamps are not used: pictures are evenly spaced, picture k at k / frame rate.
    frame.pts = entry.videoFrameCounter++;
    // The source's picture types must not force the encoder's choice of key frames.
    frame.pict_type = AV_PICTURE_TYPE_NONE;
#if QUARNIX_FRAME_DURATION
    frame.duration = 1;
#endif

    AVFrame* toEncode = &frame;
    const PictureFormat source{frame.width, frame.height, frame.format};
    if (!(source == PictureFormat{encoder.width, encoder.height, encoder.pix_fmt})) {
        // The scaler is rebuilt whenever the pictures change geometry: one built for other pictures would
        // read outside this one's planes.
        if (!(entry.scalerInput == source) && !BuildScaler(entry, source, encoder)) {
            return 0;
        }
        if (!entry.scaler) {
            return 0;
        }
        AVFrame& scaled = *entry.scaledFrame;
        if (int rc = sws_scale(entry.scaler.get(), frame.data, frame.linesize, 0, frame.height, scaled.data,
                               scaled.linesize);
            rc <= 0) {
            LogEntryFailure(entry, "scaling a picture", rc < 0 ? rc : AVERROR(EINVAL));
            return 0;
        }
        scaled.pts = frame.pts;
#if QUARNIX_FRAME_DURATION
        scaled.duration = 1;
#endif
        toEncode = &scaled;
    }
    if (int rc = avcodec_send_frame(&encoder, toEncode); rc < 0) {
        LogEntryFailure(entry, "encoding a picture", rc);
        return 0;
    }
    WriteVideoPackets(job, entry, encoder);
    return 0;
}

void FlushVideoEncoder(CConvertJob& job, EntryState& entry) {
    AVCodecContext& encoder = *entry.slots[entry.inputVideoStream].encoder;
    if (int rc = avcodec_send_frame(&encoder, nullptr); rc < 0 && rc != AVERROR_EOF) {
        LogEntryFailure(entry, "ending the video encoder", rc);
        return;
    }
    WriteVideoPackets(job, entry, encoder);
}

} // namespace quarnix
