// A batch's acceptance of a Matroska or WebM file from its element structure, without the demuxer: the
// in-place structure check, the segment information (duration) and a track list whose every track is a
// plain video or audio track of a codec the demuxer names and decodes. Anything less clear is left to the
// demuxer, which then gives the answer.
#include "engine/inplace/matroska/Ebml.h"
#include "engine/inplace/matroska/MatroskaStructure.h"
#include "engine/probe/MediaProbe.h"

#include <array>
#include <bit>
#include <cmath>
#include <span>
#include <string_view>

namespace quarnix {

using ebml::Bytes;
using ebml::Element;

namespace {

constexpr std::uint32_t kIdTimestampScale = 0x2AD7B1;
constexpr std::uint32_t kIdDuration = 0x4489;
constexpr std::uint32_t kIdCodecId = 0x86;
constexpr std::uint32_t kIdContentEncodings = 0x6D80;
constexpr std::uint32_t kIdAudio = 0xE1;
constexpr std::uint32_t kIdPixelWidth = 0xB0;
constexpr std::uint32_t kIdPixelHeight = 0xBA;
constexpr std::uint32_t kIdSamplingFrequency = 0xB5;
constexpr std::uint32_t kIdChannels = 0x9F;
constexpr std::uint32_t kIdAttachments = 0x1941A469;
constexpr std::uint64_t kTrackTypeAudio = 2;
constexpr std::uint64_t kDefaultTimestampScale = 1000000; // nanoseconds per tick

// The codec ids the demuxer maps to a codec that every FFmpeg this program builds against decodes.
bool IsKnownDecodableCodec(std::string_view id, bool video) {
    static constexpr std::array<std::string_view, 6> kVideo = {
        "V_MPEG4/ISO/AVC", "V_MPEGH/ISO/HEVC", "V_VP8", "V_VP9", "V_AV1", "V_MPEG4/ISO/ASP",
    };
    static constexpr std::array<std::string_view, 8> kAudio = {
        "A_AAC", "A_OPUS", "A_VORBIS", "A_FLAC", "A_MPEG/L3", "A_AC3", "A_EAC3", "A_PCM/INT/LIT",
    };
    for (std::string_view known :
         video ? std::span<const std::string_view>(kVideo) : std::span<const std::string_view>(kAudio)) {
        if (known == id) {
            return true;
        }
    }
    return false;
}

// A float element (4 or 8 bytes, big-endian); NaN for any other size.
double FloatValue(const Bytes& buffer, const Element& element) {
    std::uint64_t bits = 0;
    for (std::size_t i = element.dataStart; i < element.End(); ++i) {
        bits = (bits << 8) | buffer[i];
    }
    if (element.size == 4) {
        return std::bit_cast<float>(static_cast<std::uint32_t>(bits));
    }
    return element.size == 8 ? std::bit_cast<double>(bits) : std::nan("");
}

struct TrackFacts {
    bool usable = false; // a plain video or audio track of a known codec, fully described
    bool video = false;
    int width = 0;
    int height = 0;
};

// The children of an element, or an empty list when they do not parse.
std::vector<Element> Children(const Bytes& buffer, const Element& parent) {
    std::optional<std::vector<Element>> children = ebml::ChildrenOf(buffer, parent);
    return children ? *std::move(children) : std::vector<Element>{};
}

TrackFacts FactsOfTrack(const Bytes& buffer, const Element& entry) {
    TrackFacts facts;
    std::uint64_t type = 0;
    std::string_view codec;
    double samplingFrequency = 0.0;
    for (const Element& field : Children(buffer, entry)) {
        switch (field.id) {
        case ebml::kIdTrackType:
            type = ebml::UnsignedValue(buffer, field);
            break;
        case kIdCodecId:
            codec = ebml::StringValue(buffer, field);
            break;
        case kIdContentEncodings: // compressed or encrypted frames: the demuxer decides
            return facts;
        case ebml::kIdVideo:
            for (const Element& size : Children(buffer, field)) {
                if (size.id == kIdPixelWidth || size.id == kIdPixelHeight) {
                    const std::uint64_t pixels = ebml::UnsignedValue(buffer, size);
                    (size.id == kIdPixelWidth ? facts.width : facts.height) =
                        pixels <= 65535 ? static_cast<int>(pixels) : 0;
                }
            }
            break;
        case kIdAudio:
            for (const Element& format : Children(buffer, field)) {
                if (format.id == kIdSamplingFrequency) {
                    samplingFrequency = FloatValue(buffer, format);
                } else if (format.id == kIdChannels && ebml::UnsignedValue(buffer, format) == 0) {
                    return facts;
                }
            }
            break;
        default:
            break;
        }
    }
    facts.video = type == ebml::kTrackTypeVideo;
    if (facts.video) {
        facts.usable = IsKnownDecodableCodec(codec, true) && facts.width > 0 && facts.height > 0;
    } else if (type == kTrackTypeAudio) {
        facts.usable = IsKnownDecodableCodec(codec, false) && std::isfinite(samplingFrequency) &&
                       samplingFrequency >= 1.0;
    }
    return facts;
}

} // namespace

std::optional<MediaFacts> MatroskaAcceptance(int fd) {
    const MatroskaStructure structure = CheckMatroskaStructure(fd);
    if (!structure.eligible) {
        return std::nullopt;
    }
    std::uint64_t timestampScale = kDefaultTimestampScale;
    double duration = 0.0;
    bool info = false;
    bool video = false;
    MediaFacts facts;
    for (std::size_t i = 0; i < structure.firstCluster; ++i) {
        const MatroskaLevel1& level1 = structure.elements[i];
        // Attached files become streams of their own (cover pictures): the demuxer decides.
        if (level1.id == kIdAttachments) {
            return std::nullopt;
        }
        if (level1.id != ebml::kIdInfo && level1.id != ebml::kIdTracks) {
            continue;
        }
        const std::optional<Element> element =
            ebml::ElementAt(structure.head, static_cast<std::size_t>(level1.start - structure.segmentData));
        if (!element || element->unknownSize || element->End() > structure.head.size()) {
            return std::nullopt;
        }
        for (const Element& child : Children(structure.head, *element)) {
            if (level1.id == ebml::kIdInfo) {
                info = true;
                if (child.id == kIdTimestampScale) {
                    timestampScale = ebml::UnsignedValue(structure.head, child);
                } else if (child.id == kIdDuration) {
                    duration = FloatValue(structure.head, child);
                }
                continue;
            }
            if (child.id != ebml::kIdTrackEntry) {
                continue;
            }
            const TrackFacts track = FactsOfTrack(structure.head, child);
            if (!track.usable) {
                return std::nullopt;
            }
            if (track.video) {
                // The last video track is the one whose facts the full probe reports.
                video = true;
                facts.width = track.width;
                facts.height = track.height;
            }
        }
    }
    if (!info || !video || timestampScale == 0 || !std::isfinite(duration) || duration <= 0.0) {
        return std::nullopt;
    }
    // The demuxer's own arithmetic: ticks times nanoseconds per tick, in microseconds, cut to a whole number.
    const double microseconds = duration * static_cast<double>(timestampScale) * 1000 / 1000000;
    if (!(microseconds >= 1.0 && microseconds < 9.0e18)) {
        return std::nullopt;
    }
    facts.durationUs = static_cast<std::int64_t>(microseconds);
    facts.result = kProbeAccepted;
    return facts;
}

} // namespace quarnix
