// Re-encode mode, audio path: decoded samples are converted to the encoder's format when needed, queued,
// and cut into frames of exactly the encoder's frame size, each stamped from the running sample count.
#include "engine/reencode/Reencode.h"

#include <algorithm>

namespace quarnix {

namespace {

double SecondsOf(std::int64_t timestamp, AVRational timeBase) {
    return static_cast<double>(static_cast<long double>(timestamp) * timeBase.num / timeBase.den);
}

AudioFormat FormatOf(const AVFrame& frame) {
    return AudioFormat{frame.format, frame.sample_rate, frame.ch_layout.nb_channels};
}

AudioFormat FormatOf(const AVCodecContext& encoder) {
    return AudioFormat{encoder.sample_fmt, encoder.sample_rate, encoder.ch_layout.nb_channels};
}

bool AcceptsShortLastFrame(const AVCodecContext& encoder) {
    return (encoder.codec->capabilities &
            (AV_CODEC_CAP_SMALL_LAST_FRAME | AV_CODEC_CAP_VARIABLE_FRAME_SIZE)) != 0;
}

int QueueSamples(AVAudioFifo& fifo, void** planes, int count) {
    if (count <= 0) {
        return 0;
    }
    const int written = av_audio_fifo_write(&fifo, planes, count);
    return written < 0 ? written : (written < count ? AVERROR(ENOMEM) : 0);
}

// The chunk buffer grows to the largest output the resampler announces; it is reused for every chunk.
int ReserveResampled(EntryState& entry, const AVCodecContext& encoder, int samples) {
    if (samples <= entry.resampledCapacity) {
        return 0;
    }
    std::vector<std::uint8_t*> planes(static_cast<std::size_t>(std::max(encoder.ch_layout.nb_channels, 1)));
    if (int rc = av_samples_alloc(planes.data(), nullptr, encoder.ch_layout.nb_channels, samples,
                                  encoder.sample_fmt, 0);
        rc < 0) {
        return rc;
    }
    entry.resampledSamples.reset(planes[0]);
    entry.resampledPlanes = std::move(planes);
    entry.resampledCapacity = samples;
    return 0;
}

// Converts input samples (none: what the resampler still holds) and queues the result.
int ResampleIntoQueue(EntryState& entry, const AVCodecContext& encoder, AVAudioFifo& fifo,
                      const std::uint8_t** input, int inputSamples) {
    for (;;) {
        const int capacity = swr_get_out_samples(entry.resampler.get(), inputSamples);
        if (capacity < 0) {
            return capacity;
        }
        if (capacity == 0) {
            return 0;
        }
        if (int rc = ReserveResampled(entry, encoder, capacity); rc < 0) {
            return rc;
        }
        const int converted =
            swr_convert(entry.resampler.get(), entry.resampledPlanes.data(), capacity, input, inputSamples);
        if (converted < 0) {
            return converted;
        }
        if (int rc = QueueSamples(fifo, reinterpret_cast<void**>(entry.resampledPlanes.data()), converted);
            rc < 0) {
            return rc;
        }
        // With input, one call takes all of it; without, the resampler is emptied until it gives nothing.
        if (input != nullptr || converted == 0) {
            return 0;
        }
    }
}

void WriteAudioPackets(CConvertJob& job, EntryState& entry, AVCodecContext& encoder) {
    PacketPtr packet = MakePacket();
    if (!packet) {
        LogEntryFailure(entry, "allocating a packet", AVERROR(ENOMEM));
        entry.failed = true;
        return;
    }
    const AVStream& outStream = *entry.output->streams[entry.outputAudioStream];
    for (;;) {
        const int rc = avcodec_receive_packet(&encoder, packet.get());
        if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF) {
            return;
        }
        if (rc < 0) {
            // The encoder lost what it was given: the output misses part of the input.
            LogEntryFailure(entry, "encoding audio", rc);
            entry.failed = true;
            return;
        }
        av_packet_rescale_ts(packet.get(), encoder.time_base, outStream.time_base);
        packet->stream_index = entry.outputAudioStream;
        job.m_audioClock = SecondsOf(packet->pts, outStream.time_base);
        if (!WriteEncodedPacket(entry, *packet)) {
            return;
        }
    }
}

// Encodes every full encoder frame in the queue; at the end of the input also the short rest, when the
// encoder takes a short last frame.
int EncodeQueuedAudio(CConvertJob& job, EntryState& entry, StreamSlot& slot, bool endOfInput) {
    AVCodecContext& encoder = *slot.encoder;
    AVAudioFifo& fifo = *slot.audioFifo;
    const int chunk = AudioChunkSamples(encoder);
    while (!entry.outputIncomplete) {
        const int queued = av_audio_fifo_size(&fifo);
        if (queued <= 0 || (queued < chunk && !(endOfInput && AcceptsShortLastFrame(encoder)))) {
            return 0;
        }
        const int count = std::min(queued, chunk);
        FramePtr frame = MakeFrame();
        if (!frame) {
            return AVERROR(ENOMEM);
        }
        frame->nb_samples = count;
        frame->format = encoder.sample_fmt;
        frame->sample_rate = encoder.sample_rate;
        if (int rc = av_channel_layout_copy(&frame->ch_layout, &encoder.ch_layout); rc < 0) {
            return rc;
        }
        if (int rc = av_frame_get_buffer(frame.get(), 0); rc < 0) {
            return rc;
        }
        if (int rc = av_audio_fifo_read(&fifo, reinterpret_cast<void**>(frame->extended_data), count);
            rc < count) {
            return rc < 0 ? rc : AVERROR(EIO);
        }
        // Stamped in the encoder's own time base (1/sample rate): the packets are rescaled to the stream's.
        frame->pts = av_rescale_q(slot.nextAudioPts, AVRational{1, encoder.sample_rate}, encoder.time_base);
        slot.nextAudioPts += count;
        if (int rc = avcodec_send_frame(&encoder, frame.get()); rc < 0) {
            LogEntryFailure(entry, "encoding audio", rc);
            return 0;
        }
        WriteAudioPackets(job, entry, encoder);
    }
    return 0;
}

} // namespace

int EncodeAudioFrame(CConvertJob& job, EntryState& entry, const AVFrame& frame) {
    StreamSlot& slot = entry.slots[entry.inputAudioStream];
    const AVCodecContext& encoder = *slot.encoder;
    const AudioFormat format = FormatOf(frame);
    int rc = 0;
    if (entry.resampler && format == entry.resamplerInput) {
        rc = ResampleIntoQueue(entry, encoder, *slot.audioFifo,
                               const_cast<const std::uint8_t**>(frame.extended_data), frame.nb_samples);
    } else if (format == FormatOf(encoder)) {
        rc = QueueSamples(*slot.audioFifo, reinterpret_cast<void**>(frame.extended_data), frame.nb_samples);
    } else {
        // Samples that nothing can convert are left out rather than queued in a layout the encoder misreads.
        if (!entry.audioFormatWarned) {
            LogEntryFailure(entry, "converting audio (samples left out)", AVERROR(EINVAL));
            entry.audioFormatWarned = true;
        }
        return 0;
    }
    if (rc < 0) {
        return rc;
    }
    return EncodeQueuedAudio(job, entry, slot, false);
}

int FlushAudio(CConvertJob& job, EntryState& entry) {
    StreamSlot& slot = entry.slots[entry.inputAudioStream];
    if (entry.resampler) {
        if (int rc = ResampleIntoQueue(entry, *slot.encoder, *slot.audioFifo, nullptr, 0); rc < 0) {
            return rc;
        }
    }
    if (int rc = EncodeQueuedAudio(job, entry, slot, true); rc < 0) {
        return rc;
    }
    if (entry.outputIncomplete) {
        return 0;
    }
    if (int rc = avcodec_send_frame(slot.encoder.get(), nullptr); rc < 0 && rc != AVERROR_EOF) {
        LogEntryFailure(entry, "ending the audio encoder", rc);
        return 0;
    }
    WriteAudioPackets(job, entry, *slot.encoder);
    return 0;
}

} // namespace quarnix
