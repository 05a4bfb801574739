// Keeps the memory of decoded pictures in the process between files. Reading the stream information
// decodes a few frames of every input (in the probe and again in the worker), and each frame buffer of a
// 1080p picture is several megabytes: with the C library's defaults these are mapped fresh and given back
// for every file, so that most of the time of the stream analysis went into page faults and clearing
// new pages. Nothing that is read or written changes; only where the allocator takes memory from.
#pragma once

namespace quarnix {

// Process-wide allocator settings, so each program's main makes this call before it starts any thread;
// only the first call does anything. The engine library itself never changes them.
void ReuseFrameMemory();

} // namespace quarnix
