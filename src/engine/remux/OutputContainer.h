// Which container an output is written in, and the muxer options its header needs. A container that
// cannot carry a rotation is never written unrotated: the streams go into MP4 or MOV when a QuickTime
// muxer takes them all, else Matroska (.mkv), under the same base name. A Matroska or WebM input goes into
// MP4 (or MOV) when that keeps everything of it, since most players ignore a Matroska rotation.
#pragma once

#include "engine/Rotation.h"

#include <string>
#include <string_view>

struct AVDictionary;
struct AVFormatContext;
struct AVOutputFormat;

namespace quarnix {

struct OutputContainer {
    std::string muxer; // short muxer name for avformat_alloc_output_context2 ("mp4", "mov", "matroska", ...);
                       // empty when the planned name has no known container (the output cannot be made)
    std::string path;  // the planned output path, or its base name with ".mov" or ".mkv"
    std::string note;  // plain words for the user when the container changed ("written as MOV: AVI cannot
                       // carry a rotation"), or why the file cannot be written rotated; empty otherwise
    bool canRotate = true; // false: no container that carries a rotation takes this file's video
};

// The note on an output that stays Matroska: the players of Debian 12 that ignore its rotation.
inline constexpr std::string_view kMatroskaKeptNote =
    "kept as Matroska: VLC 3, mpv 0.35 and GNOME Videos 43 show it unrotated; \"turn the pictures\" plays "
    "upright everywhere";

struct ContainerChoice {
    bool keepMatroska = false; // the user keeps Matroska and WebM as they are
    Turn turn;                 // what the video streams get (the trial headers need it)
};

// Chooses the output container from the planned output path (whose extension is the input's) and the
// input's streams.
OutputContainer ChooseOutputContainer(const AVFormatContext& input, const std::string& plannedOutputPath,
                                      const ContainerChoice& choice);

// True for the Matroska muxers (matroska, webm), whose files get the Projection element after writing.
bool IsMatroskaMuxer(const AVOutputFormat& muxer);

// Adds to *options what the output's header needs to keep the input's facts: the Apple key list
// ("movflags" +use_metadata_tags) and the compliance level that lets MP4 carry a Dolby Vision
// configuration. The output's streams must already exist. Returns 0 or a negative library error.
int OutputOptionsFor(const AVFormatContext& input, const AVFormatContext& output, AVDictionary** options);

} // namespace quarnix
