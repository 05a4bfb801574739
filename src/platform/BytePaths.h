// File names as raw bytes, which on Linux need not be valid UTF-8 and so cannot pass through QString: the
// output naming rule and the folder checks on bytes, so that every name a Linux file system allows reaches
// the engine intact. These are the one implementation; the QString functions of OutputNaming.h and
// FileSystem.h encode their arguments with QFile::encodeName and call them.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

namespace quarnix {

// The part after the last "/".
std::string FileNameOfBytes(const std::string& path);

// True when anything (file, folder, link, even a dangling one) exists at the path.
bool PathExistsBytes(const std::string& path);

bool IsFolderBytes(const std::string& path);

// The rule of MakeOutputPath: folder + separator + the input's name, numbered "(0)", "(1)", ... before the
// last "." while the name exists on disk or is in takenInBatch.
std::string MakeOutputPathBytes(const std::string& folder, const std::string& inputPath,
                                const std::set<std::string>& takenInBatch);

// The rule of WriteProbeFile: a test file created exclusively and removed again; never touches a file it
// did not create.
bool WriteProbeFileBytes(const std::string& folder);

// The rule of HasRoomFor: total free bytes of the folder's volume against the inputs' sizes.
bool HasRoomForBytes(const std::string& folder, const std::vector<std::string>& inputs);

} // namespace quarnix
