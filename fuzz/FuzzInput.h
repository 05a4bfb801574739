// Hands a fuzzer's bytes to the engine as a file: the engine reads media by path, like the window does.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace quarnix::fuzz {

// A per-process path in memory-backed storage where available.
std::string ScratchPath(const char* suffix);

// Writes the bytes to the path; false when that fails.
bool WriteBytes(const std::string& path, const std::uint8_t* data, std::size_t size);

// Creates the path anew, empty, exclusively (as the worker creates an output), open for reading and
// writing; the descriptor, or -1.
int CreateFreshFile(const std::string& path);

} // namespace quarnix::fuzz
