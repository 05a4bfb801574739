// The one table of containers: for each extension, the muxer that writes it, its family (QuickTime,
// Matroska or another) and the name users see. Every question about a container is asked here, so the
// in-place paths, the remux and the probe never disagree about what a name means.
#pragma once

#include <string>
#include <string_view>

namespace quarnix {

enum class ContainerFamily {
    kQuickTime, // rotated by its video tracks' display matrices (MP4, MOV, M4V, 3GP, 3G2, F4V, ISMV)
    kMatroska,  // rotated by a Projection per video track and a ROTATE tag (MKV, MK3D, WebM)
    kOther,     // no rotation mark: written in another container
};

struct ContainerInfo {
    std::string_view extension; // lower case, without the dot
    std::string_view muxer;     // the muxer that writes it with a rotation; empty when it cannot carry one
    ContainerFamily family;
    std::string_view userName; // what users call it ("MPEG-TS", "MP4")
};

// The lower-case extension of the path's file name, without the dot; empty when it has none.
std::string LowerExtension(const std::string& path);

// The table's entry for the path's extension, or nullptr when the table does not know it.
const ContainerInfo* ContainerOfPath(const std::string& path);

// The family of the path's container; kOther for extensions the table does not know.
ContainerFamily FamilyOfPath(const std::string& path);

// The family of a muxer or demuxer by its name; a demuxer's comma-separated list ("mov,mp4,m4a,3gp,3g2,mj2")
// is judged by its names.
ContainerFamily FamilyOfFormatName(std::string_view formatName);

// The muxer that writes the path's container with a rotation, or empty when it cannot carry one.
std::string_view RotatingMuxerOf(const std::string& path);

// What users call the path's container: the table's name, or the extension in capitals ("this" without one).
std::string ContainerUserName(const std::string& path);

inline bool IsQuickTimeFamilyName(const std::string& path) {
    return FamilyOfPath(path) == ContainerFamily::kQuickTime;
}
inline bool IsMatroskaFamilyName(const std::string& path) {
    return FamilyOfPath(path) == ContainerFamily::kMatroska;
}

} // namespace quarnix
