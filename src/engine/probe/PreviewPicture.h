// A small picture of a video for the file list: one frame near the start, decoded and scaled to fit a
// square, with the display transform players apply to it now, so the window can show the video as players
// show it (and as it will be after a turn).
#pragma once

#include "engine/Rotation.h"

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quarnix {

struct PreviewPicture {
    int width = 0; // of the pixels below, as stored (before the display transform), square pixels
    int height = 0;
    std::vector<std::uint8_t> rgb; // RGB24, rows of width * 3 bytes, top row first
    DisplayTransform shown;        // how players show the video now
};

// Decodes the video's first picture at or after a second in (or a tenth of a short clip), scaled so that its
// longer side is at most maxSide pixels, its sample aspect applied. Empty when the file has no decodable
// picture or the cancel flag was set. Safe to call from several threads at once.
std::optional<PreviewPicture> MakePreviewPicture(const std::string& utf8Path, int maxSide,
                                                 const std::atomic<std::uint8_t>* cancel = nullptr);

} // namespace quarnix
