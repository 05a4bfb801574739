// File-system facts the window checks before a batch: does a path exist, can a folder be written; and the
// rule by which free space suffices (the byte functions of BytePaths.h measure it).
#pragma once

#include <QString>
#include <cstdint>

namespace quarnix {

// The write-test file's name, created in the folder under test and removed again.
inline constexpr const char* kWriteProbeFileName = "jlewhqlhqwenqfwk.mp4";

// True when anything (file, folder, link, even a dangling one) exists at the path.
bool PathExists(const QString& path);

// True when a new file can be created in the folder. The test file is created exclusively and removed;
// a file of that name that already exists is left alone and another, unique name is tried instead.
bool WriteProbeFile(const QString& folder);

// True when the free bytes are unknown (negative) or at least the required bytes (equal passes).
bool RoomSuffices(std::int64_t freeBytes, std::int64_t requiredBytes);

} // namespace quarnix
