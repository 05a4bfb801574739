// Re-encode mode, the packet loop that the video and audio paths share: read, decode every frame a packet
// yields, hand it to its path; at the end drain the decoders, the audio queue and the encoders, so that no
// picture or sample held inside the codecs is lost.
#include "engine/batch/FilePercent.h"
#include "engine/reencode/Reencode.h"

#include <cmath>

namespace quarnix {

namespace {

bool IsConverted(const EntryState& entry, int s) {
    return (s == entry.inputVideoStream && entry.outputVideoStream >= 0) ||
           (s == entry.inputAudioStream && entry.outputAudioStream >= 0);
}

// Sends one packet (null: end of stream) to the stream's decoder and passes on every frame it yields. A
// packet that does not decode is left out; the file goes on. Returns a negative error only for failures
// that end the batch.
int DecodePacket(CConvertJob& job, EntryState& entry, int s, const AVPacket* packet) {
    AVCodecContext& decoder = *entry.slots[s].decoder;
    AVFrame& frame = *entry.decodedFrame;
    for (;;) {
        const int sent = avcodec_send_packet(&decoder, packet);
        if (sent < 0 && sent != AVERROR(EAGAIN)) {
            if (sent != AVERROR_EOF) {
                LogEntryFailure(
                    entry, packet != nullptr ? "decoding a packet (left out)" : "ending a decoder", sent);
            }
            return 0;
        }
        int received = 0;
        int rc = 0;
        while ((rc = avcodec_receive_frame(&decoder, &frame)) >= 0) {
            ++received;
            const int handled = s == entry.inputVideoStream ? EncodeVideoFrame(job, entry, frame)
                                                            : EncodeAudioFrame(job, entry, frame);
            av_frame_unref(&frame);
            if (handled < 0) {
                return handled;
            }
            if (entry.outputIncomplete) {
                return 0;
            }
        }
        if (rc != AVERROR(EAGAIN) && rc != AVERROR_EOF) {
            LogEntryFailure(entry, "decoding a packet (left out)", rc);
        }
        if (sent != AVERROR(EAGAIN)) {
            return 0;
        }
        // The decoder refused the packet because it had frames waiting; now that they are collected the
        // packet is sent again. A decoder that neither takes input nor gives output would loop: the packet is
        // left out.
        if (received == 0) {
            LogEntryFailure(entry, "decoding a packet (left out)", sent);
            return 0;
        }
    }
}

// End of input: pictures and samples held in the decoders, then samples in the resampler and the queue,
// then packets held in the encoders.
int DrainCodecs(CConvertJob& job, EntryState& entry) {
    if (entry.outputVideoStream >= 0) {
        if (int rc = DecodePacket(job, entry, entry.inputVideoStream, nullptr); rc < 0) {
            return rc;
        }
    }
    if (entry.outputAudioStream >= 0 && !entry.outputIncomplete) {
        if (int rc = DecodePacket(job, entry, entry.inputAudioStream, nullptr); rc < 0) {
            return rc;
        }
        if (int rc = FlushAudio(job, entry); rc < 0) {
            return rc;
        }
    }
    if (entry.outputVideoStream >= 0 && !entry.outputIncomplete) {
        FlushVideoEncoder(job, entry);
    }
    return 0;
}

} // namespace

bool WriteEncodedPacket(EntryState& entry, AVPacket& packet) {
    if (int rc = av_interleaved_write_frame(entry.output.get(), &packet); rc < 0) {
        LogEntryFailure(entry, "writing a packet", rc);
        entry.failed = entry.outputIncomplete = true;
        return false;
    }
    return true;
}

int RunReencodeLoop(CConvertJob& job, EntryState& entry) {
    PacketPtr packet = MakePacket();
    if (!packet) {
        LogEntryFailure(entry, "allocating a packet", AVERROR(ENOMEM));
        entry.failed = true;
        return 0;
    }
    const auto index = static_cast<std::size_t>(entry.index);
    int result = 0;
    while (true) {
        if (!ReadNextPacket(job, entry, *packet)) {
            break;
        }
        job.m_filePercent.store(
            ComputeFilePercent(job.m_audioClock, job.m_videoClock, job.m_fileDuration[index]),
            std::memory_order_relaxed);
        const int s = packet->stream_index;
        if (IsConverted(entry, s)) {
            result = DecodePacket(job, entry, s, packet.get());
        }
        av_packet_unref(packet.get());
        if (result < 0 || entry.outputIncomplete) {
            break;
        }
    }
    // Also after a cancel: what the codecs already hold completes the part that was converted.
    if (result >= 0 && !entry.outputIncomplete) {
        result = DrainCodecs(job, entry);
    }
    if (result < 0) {
        LogEntryFailure(entry, "converting", result);
        entry.failed = true;
        return result;
    }
    if (entry.inputVideoStream >= 0 && entry.videoPacketsWritten == 0 && !entry.failed && !entry.cancelled) {
        // Every picture failed: an output without video is no conversion of a video file.
        LogEntryFailure(entry, "encoding the video (no picture written)", AVERROR_INVALIDDATA);
        entry.failed = true;
    }
    return 0;
}

} // namespace quarnix
