#include "OutputContainer.h"

#include "StreamSelection.h"

#include <algorithm>
#include <cctype>
#include <string_view>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace quarnix {

namespace {

struct ExtensionMuxer {
    std::string_view extension;
    std::string_view muxer;
};

// Extensions whose container stores a rotation (a track matrix, or the Matroska Projection), with the muxer
// that writes them. Some are spelled differently from the muxer's own list (.qt, .3gpp).
constexpr ExtensionMuxer kRotatingContainers[] = {
    {"mp4", "mp4"},  {"m4v", "ipod"}, {"mov", "mov"}, {"qt", "mov"},       {"3gp", "3gp"},
    {"3gpp", "3gp"}, {"3g2", "3g2"},  {"f4v", "f4v"}, {"mkv", "matroska"}, {"webm", "webm"},
};

// What the user calls the containers that cannot carry a rotation, by extension; others show the extension.
constexpr ExtensionMuxer kContainerNames[] = {
    {"ts", "MPEG-TS"},     {"mts", "MPEG-TS"},  {"m2ts", "MPEG-TS"},   {"m2t", "MPEG-TS"}, {"mpg", "MPEG-PS"},
    {"mpeg", "MPEG-PS"},   {"vob", "MPEG-PS"},  {"mod", "MPEG-PS"},    {"tod", "MPEG-PS"}, {"dat", "MPEG-PS"},
    {"wmv", "WMV"},        {"asf", "ASF"},      {"wm", "WMV"},         {"ogv", "Ogg"},     {"ogg", "Ogg"},
    {"rmvb", "RealMedia"}, {"rm", "RealMedia"}, {"h264", "raw H.264"},
};

std::string LowerExtension(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    const std::size_t dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) {
        return {};
    }
    std::string extension = path.substr(dot + 1);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension;
}

// The muxer that writes the path's container when that container stores a rotation, else empty.
std::string_view RotatingMuxerOf(const std::string& path) {
    const std::string extension = LowerExtension(path);
    for (const ExtensionMuxer& entry : kRotatingContainers) {
        if (entry.extension == extension) {
            return entry.muxer;
        }
    }
    return {};
}

bool IsMatroskaMuxerName(std::string_view name) {
    return name == "matroska" || name == "webm";
}

std::string WithExtension(const std::string& path, const char* extension) {
    const std::size_t slash = path.find_last_of('/');
    const std::size_t dot = path.rfind('.');
    const bool hasExtension = dot != std::string::npos && (slash == std::string::npos || dot > slash);
    return (hasExtension ? path.substr(0, dot) : path) + extension;
}

std::string ContainerName(const std::string& extension) {
    for (const ExtensionMuxer& entry : kContainerNames) {
        if (entry.extension == extension) {
            return std::string(entry.muxer);
        }
    }
    std::string upper = extension.empty() ? std::string("this") : extension;
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return upper;
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
    const std::string extension = LowerExtension(plannedOutputPath);

    // A name that says nothing of a container is a planning fault, not a container to replace.
    const bool knownContainer =
        std::any_of(std::begin(kContainerNames), std::end(kContainerNames),
                    [&](const ExtensionMuxer& entry) { return entry.extension == extension; });
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
    const std::string name = ContainerName(extension);
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
#if LIBAVCODEC_VERSION_INT >= AV_VERSION_INT(60, 30, 100)
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

bool IsQuickTimeMuxerName(std::string_view name) {
    return name == "mov" || name == "mp4" || name == "ipod" || name == "3gp" || name == "3g2";
}

bool IsQuickTimeMuxer(const AVOutputFormat& muxer) {
    return IsQuickTimeMuxerName(muxer.name);
}

} // namespace

bool IsQuickTimeFamilyName(const std::string& path) {
    return IsQuickTimeMuxerName(RotatingMuxerOf(path));
}

bool IsMatroskaFamilyName(const std::string& path) {
    return IsMatroskaMuxerName(RotatingMuxerOf(path));
}

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
