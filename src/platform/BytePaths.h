// File names as raw bytes, which on Linux need not be valid UTF-8 and so cannot pass through QString: the
// folder checks before a batch on bytes, so that every name a Linux file system allows reaches the engine
// intact. These are the one implementation; the QString functions of FileSystem.h encode their arguments
// with QFile::encodeName and call them. The output-naming rule is the engine's (engine/io/OutputName.h).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quarnix {

// True when anything (file, folder, link, even a dangling one) exists at the path.
bool PathExistsBytes(const std::string& path);

// The rule of WriteProbeFile: a test file created exclusively and removed again; never touches a file it
// did not create.
bool WriteProbeFileBytes(const std::string& folder);

// Whether the folder's volume has room: its total free bytes against the sum of the inputs' sizes, as
// RoomSuffices decides (a file whose size cannot be read adds nothing).
bool HasRoomForBytes(const std::string& folder, const std::vector<std::string>& inputs);

} // namespace quarnix
