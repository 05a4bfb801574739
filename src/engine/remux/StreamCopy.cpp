// Stream-copy mode: every stream the output container takes is copied packet by packet, without decoding;
// video streams are marked with the chosen rotation. Nothing here needs a decoder.
#include "engine/Containers.h"
#include "engine/Rotation.h"
#include "engine/batch/EntryState.h"
#include "engine/batch/FilePercent.h"
#include "engine/probe/StreamSelection.h"
#include "engine/remux/StreamKeeping.h"
#include "engine/remux/TimestampRepair.h"

namespace quarnix {

namespace {

constexpr int kRescaleRounding = AV_ROUND_NEAR_INF | AV_ROUND_PASS_MINMAX;

double SecondsOf(std::int64_t timestamp, AVRational timeBase) {
    return static_cast<double>(static_cast<long double>(timestamp) * timeBase.num / timeBase.den);
}

// The common start that every kept stream is moved by: the input's start time when it is positive,
// so that audio and video keep their relative offset while the output starts near zero.
std::int64_t CommonStartMicroseconds(const AVFormatContext& input) {
    return (input.start_time != AV_NOPTS_VALUE && input.start_time > 0) ? input.start_time : 0;
}

// Names each stream of the input that the output will lack, in the entry's note: the user must know.
void NoteLeftOutStreams(const AVFormatContext& input, const std::string& outputPath,
                        const std::vector<KeptAs>& plan, std::string& note) {
    for (unsigned i = 0; i < input.nb_streams; ++i) {
        if (plan[i] != KeptAs::kLeftOut) {
            continue;
        }
        const AVCodecParameters& params = *input.streams[i]->codecpar;
        const char* kind = av_get_media_type_string(params.codec_type);
        const LeftOutWhy why = IsIgnoredCodec(params.codec_id)       ? LeftOutWhy::kNavigation
                               : params.codec_id == AV_CODEC_ID_NONE ? LeftOutWhy::kDamaged
                                                                     : LeftOutWhy::kMuxerRefused;
        AddNote(note,
                LeftOutStreamNote(kind != nullptr ? kind : "unknown", i, why, ContainerUserName(outputPath)));
    }
}

} // namespace

int CreateCopyStreams(EntryState& entry) {
    AVFormatContext& input = *entry.input;
    AVFormatContext& output = *entry.output;
    // The file's own facts (recording date, place, title, the Apple key list) stay with the rotated copy:
    // phone galleries sort and place videos by them.
    if (int rc = av_dict_copy(&output.metadata, input.metadata, 0); rc < 0) {
        return rc;
    }
    const std::vector<KeptAs> plan = PlanKeptStreams(input, *output.oformat, entry.turn);
    NoteLeftOutStreams(input, entry.outputPath, plan, entry.note);
    int nextOutputIndex = 0;
    for (unsigned i = 0; i < input.nb_streams; ++i) {
        if (plan[i] == KeptAs::kLeftOut) {
            continue;
        }
        if (AddKeptStream(output, *input.streams[i], plan[i], entry.turn) == nullptr) {
            return AVERROR(ENOMEM);
        }
        entry.slots[i].outputIndex = nextOutputIndex++;
    }
    return CopyChapters(input, output, CommonStartMicroseconds(input));
}

void RunStreamCopyLoop(CConvertJob& job, EntryState& entry) {
    AVFormatContext& input = *entry.input;
    AVFormatContext& output = *entry.output;
    PacketPtr packet = MakePacket();
    if (!packet) {
        LogEntryFailure(entry, "allocating a packet", AVERROR(ENOMEM));
        entry.failed = true;
        return;
    }

    const bool strictTimestamps = !(output.oformat->flags & AVFMT_TS_NONSTRICT);
    std::vector<DtsRepair> repairs(output.nb_streams, DtsRepair(strictTimestamps));
    std::vector<std::int64_t> shifts(output.nb_streams);
    const std::int64_t commonStart = CommonStartMicroseconds(input);
    for (unsigned o = 0; o < output.nb_streams; ++o) {
        // Rounded down so that no stream is moved below zero by rounding.
        shifts[o] = av_rescale_q_rnd(commonStart, AVRational{1, AV_TIME_BASE}, output.streams[o]->time_base,
                                     static_cast<AVRounding>(AV_ROUND_DOWN | AV_ROUND_PASS_MINMAX));
    }

    const auto index = static_cast<std::size_t>(entry.index);
    while (true) {
        if (!ReadNextPacket(job, entry, *packet)) {
            break;
        }
        const int s = packet->stream_index;
        // Attachments (a cover written as one) hold their data in the header and take no packets.
        if (s < 0 || static_cast<unsigned>(s) >= input.nb_streams || entry.slots[s].outputIndex < 0 ||
            output.streams[entry.slots[s].outputIndex]->codecpar->codec_type == AVMEDIA_TYPE_ATTACHMENT) {
            av_packet_unref(packet.get());
            continue;
        }

        job.m_filePercent.store(
            ComputeFilePercent(job.m_audioClock, job.m_videoClock, job.m_fileDuration[index]),
            std::memory_order_relaxed);

        const int o = entry.slots[s].outputIndex;
        const AVRational inBase = input.streams[s]->time_base;
        const AVRational outBase = output.streams[o]->time_base;
        packet->pts =
            av_rescale_q_rnd(packet->pts, inBase, outBase, static_cast<AVRounding>(kRescaleRounding));
        packet->dts =
            av_rescale_q_rnd(packet->dts, inBase, outBase, static_cast<AVRounding>(kRescaleRounding));
        packet->duration = av_rescale_q(packet->duration, inBase, outBase);
        packet->pos = -1;
        if (packet->pts != AV_NOPTS_VALUE) {
            packet->pts -= shifts[o];
        }
        if (packet->dts != AV_NOPTS_VALUE) {
            packet->dts -= shifts[o];
        }
        repairs[o].Apply(*packet);

        const AVMediaType type = input.streams[s]->codecpar->codec_type;
        if (type == AVMEDIA_TYPE_VIDEO) {
            if (packet->pts != AV_NOPTS_VALUE) {
                job.m_videoClock = SecondsOf(packet->pts, outBase);
            }
        } else if (type == AVMEDIA_TYPE_AUDIO) {
            if (packet->pts != AV_NOPTS_VALUE) {
                job.m_audioClock = SecondsOf(packet->pts, outBase);
            }
        }

        packet->stream_index = o;
        if (int rc = av_interleaved_write_frame(&output, packet.get()); rc < 0) {
            FailEntry(entry, FailedStep::kWriteOutput, "writing a packet", rc);
            entry.outputIncomplete = true;
            break;
        }
    }
    av_packet_unref(packet.get());
}

} // namespace quarnix
