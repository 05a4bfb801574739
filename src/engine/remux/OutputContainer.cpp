#include "engine/remux/OutputContainer.h"

#include "engine/Containers.h"
#include "engine/io/FfmpegVersion.h"
#include "engine/probe/StreamSelection.h"
#include "engine/remux/StreamKeeping.h"

#include <algorithm>
#include <cctype>
#include <string_view>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace quarnix {

namespace {

bool IsMatroskaMuxerName(std::string_view name) {
    return FamilyOfFormatName(name) == ContainerFamily::kMatroska;
}

std::string WithExtension(const std::string& path, const char* extension) {
    const std::size_t slash = path.find_last_of('/');
    const std::size_t dot = path.rfind('.');
    const bool hasExtension = dot != std::string::npos && (slash == std::string::npos || dot > slash);
    return (hasExtension ? path.substr(0, dot) : path) + extension;
}

bool Accepts(const char* muxerName, AVCodecID codec, int compliance) {
    const AVOutputFormat* muxer = av_guess_format(muxerName, nullptr, nullptr);
    return muxer != nullptr && avformat_query_codec(muxer, codec, compliance) == 1;
}

bool Counts(const AVStream& stream) {
    const AVCodecParameters& params = *stream.codecpar;
    return !IsIgnoredCodec(params.codec_id) && !IsCoverPicture(stream) &&
           params.codec_type != AVMEDIA_TYPE_ATTACHMENT && params.codec_type != AVMEDIA_TYPE_UNKNOWN;
}

// Whether the QuickTime muxer takes every stream that counts, by its codec table.
bool TakesEveryCodec(const char* muxer, const AVFormatContext& input) {
    for (unsigned i = 0; i < input.nb_streams; ++i) {
        if (Counts(*input.streams[i]) &&
            !Accepts(muxer, input.streams[i]->codecpar->codec_id, FF_COMPLIANCE_NORMAL)) {
            return false;
        }
    }
    return true;
}

// The QuickTime muxers in the order players favour them. Measured with marker clips turned 90 degrees
// (FFmpeg 5.1, mpv 0.35, GStreamer 1.22, VLC 3.0, Chromium): H.264, HEVC, MPEG-2, VP9 and AV1 show turned
// in MP4 wherever the player can decode them, while VLC 3 shows no picture at all for MPEG-2 in MOV
// ('m2v1'); MOV refuses VP9 and AV1. MOV stays for what MP4 does not take (PCM sound, DV, ProRes).
constexpr const char* kQuickTimeMuxers[] = {"mp4", "mov"};

// Stream tags that an MP4 or MOV output keeps, or that the muxers make anew (statistics, durations).
bool QuickTimeKeepsStreamTag(std::string_view key) {
    constexpr std::string_view kKept[] = {"language", "title",  "handler_name",  "vendor_id", "encoder",
                                          "duration", "rotate", "creation_time", "bps",       "timecode"};
    std::string lower(key);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return std::find(std::begin(kKept), std::end(kKept), lower) != std::end(kKept) ||
           lower.starts_with("number_of_") || lower.starts_with("_statistics_") ||
           lower.starts_with("duration");
}

// Whether the QuickTime muxer keeps every stream, attachment and stream tag of a Matroska input as it is.
bool KeepsEverything(const char* muxerName, const AVFormatContext& input, const Turn& turn) {
    const AVOutputFormat* muxer = av_guess_format(muxerName, nullptr, nullptr);
    if (muxer == nullptr || !TakesEveryCodec(muxerName, input)) {
        return false;
    }
    for (unsigned i = 0; i < input.nb_streams; ++i) {
        const AVStream& stream = *input.streams[i];
        // Fonts and other attachments have no place in a QuickTime file.
        if (stream.codecpar->codec_type == AVMEDIA_TYPE_ATTACHMENT && !IsCoverPicture(stream)) {
            return false;
        }
        const AVDictionaryEntry* tag = nullptr;
        while ((tag = av_dict_get(stream.metadata, "", tag, AV_DICT_IGNORE_SUFFIX)) != nullptr) {
            if (!QuickTimeKeepsStreamTag(tag->key)) {
                return false;
            }
        }
    }
    const std::vector<KeptAs> plan = PlanKeptStreams(input, *muxer, turn);
    for (unsigned i = 0; i < input.nb_streams; ++i) {
        if (plan[i] == KeptAs::kLeftOut && !IsIgnoredCodec(input.streams[i]->codecpar->codec_id) &&
            input.streams[i]->codecpar->codec_type != AVMEDIA_TYPE_UNKNOWN) {
            return false;
        }
    }
    return true;
}

std::string UpperName(const char* muxer) {
    return std::string_view(muxer) == "mp4" ? "MP4" : "MOV";
}

} // namespace

bool IsMatroskaMuxer(const AVOutputFormat& muxer) {
    return IsMatroskaMuxerName(muxer.name);
}

OutputContainer ChooseOutputContainer(const AVFormatContext& input, const std::string& plannedOutputPath,
                                      const ContainerChoice& choice) {
    OutputContainer chosen;
    const ContainerFamily family = FamilyOfPath(plannedOutputPath);
    if (family == ContainerFamily::kMatroska) {
        if (!choice.keepMatroska) {
            for (const char* muxer : kQuickTimeMuxers) {
                if (KeepsEverything(muxer, input, choice.turn)) {
                    chosen.muxer = muxer;
                    chosen.path = WithExtension(plannedOutputPath, muxer[2] == '4' ? ".mp4" : ".mov");
                    chosen.note =
                        "written as " + UpperName(muxer) + ": most players ignore a Matroska rotation";
                    return chosen;
                }
            }
        }
        chosen.muxer = RotatingMuxerOf(plannedOutputPath);
        chosen.path = plannedOutputPath;
        chosen.note = std::string(kMatroskaKeptNote);
        return chosen;
    }
    if (const std::string_view muxer = RotatingMuxerOf(plannedOutputPath); !muxer.empty()) {
        chosen.muxer = muxer;
        chosen.path = plannedOutputPath;
        return chosen;
    }
    // A name that says nothing of a container is a planning fault, not a container to replace.
    const bool knownContainer = ContainerOfPath(plannedOutputPath) != nullptr;
    if (!knownContainer && av_guess_format(nullptr, plannedOutputPath.c_str(), nullptr) == nullptr) {
        chosen.path = plannedOutputPath;
        return chosen;
    }

    // A QuickTime muxer when it takes every stream that either family could carry; Matroska otherwise.
    // Matroska stores any other audio or video codec under its compatibility codec ids, which the query at
    // the normal compliance level does not count.
    const char* quickTime = nullptr;
    for (const char* muxer : kQuickTimeMuxers) {
        if (quickTime == nullptr && TakesEveryCodec(muxer, input)) {
            quickTime = muxer;
        }
    }
    const AVStream* untakenVideo = nullptr;
    for (unsigned i = 0; i < input.nb_streams; ++i) {
        const AVStream& stream = *input.streams[i];
        const AVCodecParameters& params = *stream.codecpar;
        if (!Counts(stream) || params.codec_type != AVMEDIA_TYPE_VIDEO) {
            continue;
        }
        const bool anyQuickTime = Accepts("mp4", params.codec_id, FF_COMPLIANCE_NORMAL) ||
                                  Accepts("mov", params.codec_id, FF_COMPLIANCE_NORMAL);
        if (!anyQuickTime && !Accepts("matroska", params.codec_id, FF_COMPLIANCE_UNOFFICIAL) &&
            untakenVideo == nullptr) {
            untakenVideo = &stream;
        }
    }
    const std::string name = ContainerUserName(plannedOutputPath);
    if (untakenVideo != nullptr) {
        chosen.canRotate = false;
        chosen.note = name + " cannot carry a rotation, and no container that can holds its " +
                      avcodec_get_name(untakenVideo->codecpar->codec_id) + " video";
        return chosen;
    }
    if (quickTime != nullptr) {
        chosen.muxer = quickTime;
        chosen.path = WithExtension(plannedOutputPath, quickTime[2] == '4' ? ".mp4" : ".mov");
        chosen.note = "written as " + UpperName(quickTime) + ": " + name + " cannot carry a rotation";
        return chosen;
    }
    chosen.muxer = "matroska";
    chosen.path = WithExtension(plannedOutputPath, ".mkv");
    chosen.note = "written as MKV: " + name + " cannot carry a rotation";
    return chosen;
}

namespace {

bool HasAppleKeys(const AVDictionary* metadata) {
    const AVDictionaryEntry* entry = nullptr;
    while ((entry = av_dict_get(metadata, "", entry, AV_DICT_IGNORE_SUFFIX)) != nullptr) {
        if (std::string_view(entry->key).starts_with("com.apple.")) {
            return true;
        }
    }
    return false;
}

bool HasDolbyVisionConfiguration(const AVStream& stream) {
#if QUARNIX_CODECPAR_SIDE_DATA
    return av_packet_side_data_get(stream.codecpar->coded_side_data, stream.codecpar->nb_coded_side_data,
                                   AV_PKT_DATA_DOVI_CONF) != nullptr;
#else
    for (int i = 0; i < stream.nb_side_data; ++i) {
        if (stream.side_data[i].type == AV_PKT_DATA_DOVI_CONF) {
            return true;
        }
    }
    return false;
#endif
}

bool IsQuickTimeMuxer(const AVOutputFormat& muxer) {
    return FamilyOfFormatName(muxer.name) == ContainerFamily::kQuickTime;
}

} // namespace

int OutputOptionsFor(const AVFormatContext& input, const AVFormatContext& output, AVDictionary** options) {
    if (output.oformat == nullptr || !IsQuickTimeMuxer(*output.oformat)) {
        return 0;
    }
    // iPhone location, make, model and local creation date live in the Apple key list; without this flag
    // the muxer writes only the classic user-data atoms and galleries lose the place and local date.
    // A Matroska input's file tags (any name) are kept the same way.
    if (HasAppleKeys(input.metadata) ||
        (input.iformat != nullptr && FamilyOfFormatName(input.iformat->name) == ContainerFamily::kMatroska)) {
        if (int rc = av_dict_set(options, "movflags", "+use_metadata_tags", AV_DICT_APPEND); rc < 0) {
            return rc;
        }
    }
    // The muxer writes the Dolby Vision configuration box only below the normal compliance level.
    for (unsigned i = 0; i < output.nb_streams; ++i) {
        if (HasDolbyVisionConfiguration(*output.streams[i])) {
            return av_dict_set(options, "strict", "unofficial", 0);
        }
    }
    return 0;
}

} // namespace quarnix
