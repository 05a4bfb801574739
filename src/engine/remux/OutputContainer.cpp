#include "engine/remux/OutputContainer.h"

#include "engine/Containers.h"
#include "engine/io/FfmpegVersion.h"
#include "engine/probe/StreamSelection.h"

#include <algorithm>
#include <cctype>
#include <string_view>

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

} // namespace

bool IsMatroskaMuxer(const AVOutputFormat& muxer) {
    return IsMatroskaMuxerName(muxer.name);
}

OutputContainer ChooseOutputContainer(const AVFormatContext& input, const std::string& plannedOutputPath) {
    OutputContainer chosen;
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

    // QuickTime when its muxer takes every stream that either candidate could carry; Matroska otherwise.
    // Matroska stores any other audio or video codec under its compatibility codec ids, which the query at
    // the normal compliance level does not count.
    bool movTakesAll = true;
    const AVStream* untakenVideo = nullptr;
    for (unsigned i = 0; i < input.nb_streams; ++i) {
        const AVStream& stream = *input.streams[i];
        const AVCodecParameters& params = *stream.codecpar;
        if (IsIgnoredCodec(params.codec_id) || IsCoverPicture(stream) ||
            params.codec_type == AVMEDIA_TYPE_ATTACHMENT) {
            continue;
        }
        const bool mov = Accepts("mov", params.codec_id, FF_COMPLIANCE_NORMAL);
        const bool mkv = Accepts("matroska", params.codec_id, FF_COMPLIANCE_UNOFFICIAL);
        if (!mov && mkv) {
            movTakesAll = false;
        }
        if (!mov && !mkv && params.codec_type == AVMEDIA_TYPE_VIDEO && untakenVideo == nullptr) {
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
    chosen.muxer = movTakesAll ? "mov" : "matroska";
    chosen.path = WithExtension(plannedOutputPath, movTakesAll ? ".mov" : ".mkv");
    chosen.note = std::string(movTakesAll ? "written as MOV: " : "written as MKV: ") + name +
                  " cannot carry a rotation";
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
    if (HasAppleKeys(input.metadata)) {
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
