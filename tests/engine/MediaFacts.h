// Reads a media file with the libraries for tests: per stream its kind, codec, packet count, a hash of
// every payload in order, first timestamps, rotation tag and display-matrix angle.
// And what mkvinfo reads in a Matroska file: its rotation marks.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quarnix::test {

struct StreamFacts {
    std::string kind; // "video", "audio", "subtitle", ...
    std::string codec;
    int packets = 0;
    std::uint64_t payloadHash = 0;     // FNV-1a over every payload byte, in packet order
    double firstPtsSeconds = 0.0;      // smallest presentation time seen
    std::string rotateTag;             // value of the "rotate" tag (any case), empty when none
    std::optional<double> matrixAngle; // av_display_rotation_get of the display matrix, when present
};

struct FileFacts {
    bool opened = false;
    std::vector<StreamFacts> streams;

    // The streams of one kind, in order.
    std::vector<StreamFacts> OfKind(const std::string& kind) const;
};

FileFacts ReadMediaFacts(const std::string& path);

// The text without its trailing line breaks and spaces.
std::string Trimmed(std::string text);

// Where ffmpeg's auto-rotation shows the white box that sits top-left in the stored 160x120 marker
// picture: "top-left", "top-right", "bottom-left" or "bottom-right", or what went wrong.
std::string DisplayedMarkerCorner(const std::string& path, int angle);

// What `mkvinfo -a` reads in a Matroska file: the Projection rolls of the tracks, the ROTATE tag values,
// and its complaints (lines with an error or a warning).
struct MkvInfo {
    std::vector<std::string> rolls;
    std::vector<std::string> rotateTags;
    std::vector<std::string> complaints;
};

MkvInfo ReadMkvInfo(const std::string& path);

} // namespace quarnix::test
