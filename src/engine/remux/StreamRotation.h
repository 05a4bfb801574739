// The rotation of FFmpeg streams: what an input stream shows now and how an output stream is marked, by the
// one rule of engine/Rotation.h.
#pragma once

#include "engine/Rotation.h"

struct AVStream;

namespace quarnix {

// The transform players show for an input stream now: its display matrix (which FFmpeg also makes from a
// Matroska Projection), else the identity.
DisplayTransform StreamDisplayTransform(const AVStream& stream);

// Marks an output stream with a transform: the "rotate" tag (the clockwise angle, kept by Matroska; removed
// for 0) and, for video, a display matrix (what MP4/MOV/3GP players honour; none for the identity). The
// input's own matrix never passes to the output. Returns 0 or a negative library error.
int MarkStreamRotated(AVStream& stream, const DisplayTransform& transform, bool isVideo);

} // namespace quarnix
