#include "engine/Containers.h"

#include <algorithm>
#include <cctype>

namespace quarnix {

namespace {

using enum ContainerFamily;

// Some extensions are spelled differently from the muxer's own list (.qt, .3gpp). F4V is written by the MP4
// muxer when it cannot be marked in place: FFmpeg's f4v muxer drops subtitle and chapter tracks. ISMV is
// fragmented MP4, marked in place like any other (its matrices live in the movie box); MK3D is Matroska.
constexpr ContainerInfo kContainers[] = {
    {"mp4", "mp4", kQuickTime, "MP4"},
    {"m4v", "ipod", kQuickTime, "M4V"},
    {"mov", "mov", kQuickTime, "MOV"},
    {"qt", "mov", kQuickTime, "MOV"},
    {"3gp", "3gp", kQuickTime, "3GP"},
    {"3gpp", "3gp", kQuickTime, "3GP"},
    {"3g2", "3g2", kQuickTime, "3G2"},
    {"f4v", "mp4", kQuickTime, "F4V"},
    {"ismv", "ismv", kQuickTime, "ISMV"},
    {"mkv", "matroska", kMatroska, "MKV"},
    {"mk3d", "matroska", kMatroska, "MK3D"},
    {"webm", "webm", kMatroska, "WebM"},
    {"ts", "", kOther, "MPEG-TS"},
    {"mts", "", kOther, "MPEG-TS"},
    {"m2ts", "", kOther, "MPEG-TS"},
    {"m2t", "", kOther, "MPEG-TS"},
    {"mpg", "", kOther, "MPEG-PS"},
    {"mpeg", "", kOther, "MPEG-PS"},
    {"vob", "", kOther, "MPEG-PS"},
    {"mod", "", kOther, "MPEG-PS"},
    {"tod", "", kOther, "MPEG-PS"},
    {"dat", "", kOther, "MPEG-PS"},
    {"wmv", "", kOther, "WMV"},
    {"asf", "", kOther, "ASF"},
    {"wm", "", kOther, "WMV"},
    {"ogv", "", kOther, "Ogg"},
    {"ogg", "", kOther, "Ogg"},
    {"rmvb", "", kOther, "RealMedia"},
    {"rm", "", kOther, "RealMedia"},
    {"h264", "", kOther, "raw H.264"},
};

// Muxer and demuxer names of the two families that carry a rotation.
constexpr std::string_view kQuickTimeFormats[] = {"mov", "mp4", "ipod", "3gp", "3g2",
                                                  "m4a", "mj2", "f4v",  "ismv"};
constexpr std::string_view kMatroskaFormats[] = {"matroska", "webm"};

} // namespace

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

const ContainerInfo* ContainerOfPath(const std::string& path) {
    const std::string extension = LowerExtension(path);
    const auto* found =
        std::find_if(std::begin(kContainers), std::end(kContainers),
                     [&](const ContainerInfo& entry) { return entry.extension == extension; });
    return found == std::end(kContainers) ? nullptr : found;
}

ContainerFamily FamilyOfPath(const std::string& path) {
    const ContainerInfo* container = ContainerOfPath(path);
    return container == nullptr ? kOther : container->family;
}

ContainerFamily FamilyOfFormatName(std::string_view formatName) {
    while (!formatName.empty()) {
        const std::size_t comma = formatName.find(',');
        const std::string_view name = formatName.substr(0, comma);
        if (std::find(std::begin(kQuickTimeFormats), std::end(kQuickTimeFormats), name) !=
            std::end(kQuickTimeFormats)) {
            return kQuickTime;
        }
        if (std::find(std::begin(kMatroskaFormats), std::end(kMatroskaFormats), name) !=
            std::end(kMatroskaFormats)) {
            return kMatroska;
        }
        formatName = comma == std::string_view::npos ? std::string_view() : formatName.substr(comma + 1);
    }
    return kOther;
}

std::string_view RotatingMuxerOf(const std::string& path) {
    const ContainerInfo* container = ContainerOfPath(path);
    return container == nullptr ? std::string_view() : container->muxer;
}

std::string ContainerUserName(const std::string& path) {
    if (const ContainerInfo* container = ContainerOfPath(path); container != nullptr) {
        return std::string(container->userName);
    }
    std::string upper = LowerExtension(path);
    if (upper.empty()) {
        return "this";
    }
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return upper;
}

} // namespace quarnix
