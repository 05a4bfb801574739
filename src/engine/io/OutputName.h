// File names of outputs, on the bytes of the names (a Linux name need not be valid UTF-8): the one rule
// that numbers an output name, name(0).ext, name(1).ext, ..., used both when a batch is planned
// (core/BatchPlanner) and when an output is committed under its final name (OutputFile).
#pragma once

#include <set>
#include <string>

namespace quarnix {

// The part of a path after its last "/" (all of it without one, "" when it ends with one).
std::string FileNameOf(const std::string& path);

// True when the path names a folder (following links).
bool IsFolder(const std::string& path);

// name(n).ext for "folder/name.ext": the number goes before the last "." of the file name, or at the end
// of a name without one.
std::string NumberedOutputName(const std::string& path, int number);

// folder + separator + the input's file name; when anything exists at that path (even a dangling link) or
// it is in takenInBatch, the first of name(0).ext, name(1).ext, ... that is free of both.
std::string ChooseOutputPath(const std::string& folder, const std::string& inputPath,
                             const std::set<std::string>& takenInBatch);

} // namespace quarnix
