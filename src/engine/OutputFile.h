// Creating and removing output files by UTF-8 path. An output is always created exclusively, so the
// worker never replaces a file that exists, whatever appeared in the folder since its name was chosen.
#pragma once

#include <string>

namespace quarnix {

// Creates an empty file; fails with AVERROR(EEXIST) when anything exists at the path, or another
// negative AVERROR(errno) when it cannot be created.
int CreateOutputExclusively(const std::string& utf8Path);

// Removes a file that the worker itself created; errors are ignored.
void RemoveCreatedOutput(const std::string& utf8Path);

} // namespace quarnix
