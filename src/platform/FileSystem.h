// File-system facts the start command and the command line check before a batch: does a path exist,
// can a folder be written, how much space is free, how large are the inputs.
#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>

namespace quarnix {

// The write-test file's name, created in the folder under test and removed again.
inline constexpr const char* kWriteProbeFileName = "jlewhqlhqwenqfwk.mp4";

// True when anything (file, folder, link, even a dangling one) exists at the path.
bool PathExists(const QString& path);

// True when a new file can be created in the folder. The test file is created exclusively and removed;
// a file of that name that already exists is left alone and another, unique name is tried instead.
bool WriteProbeFile(const QString& folder);

// Total free bytes of the volume holding the folder (not the caller's quota); -1 when it cannot be read.
std::int64_t FreeBytes(const QString& folder);

// Sum of the sizes of the files; a file whose size cannot be read adds nothing.
std::int64_t TotalFileSize(const QStringList& paths);

// True when the free bytes are unknown (negative) or at least the required bytes (equal passes).
bool RoomSuffices(std::int64_t freeBytes, std::int64_t requiredBytes);

// RoomSuffices for the volume of the folder.
bool HasRoomFor(const QString& folder, std::int64_t requiredBytes);

} // namespace quarnix
