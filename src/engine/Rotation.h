// Marks an output stream as rotated: the "rotate" metadata tag (kept by Matroska) and, for video, a display
// matrix (what MP4/MOV/3GP players honour). The rotation is absolute: an input's own matrix never survives.
#pragma once

#include <array>
#include <cstdint>

struct AVStream;

namespace quarnix {

// The canonical 3x3 display matrix (16.16 / 2.30 fixed point, FFmpeg order) that phones and QuickTime
// writers use for a clockwise rotation of 90, 180 or 270 degrees, with its translation for a picture
// of the given size. Any other angle gives the identity.
std::array<std::int32_t, 9> ClockwiseDisplayMatrix(int degrees, int width, int height);

// Sets the "rotate" tag to the decimal angle (replacing one copied from the input) when degrees is not 0,
// and gives a video stream the display matrix of that angle. Returns 0 or a negative library error.
int MarkStreamRotated(AVStream& stream, int degrees, bool isVideo);

} // namespace quarnix
