// Creating and removing output files by UTF-8 path. An output is always created exclusively, so the
// worker never replaces a file that exists, whatever appeared in the folder since its name was chosen.
#pragma once

#include <string>

struct AVIOContext;

namespace quarnix {

// The address under which FFmpeg opens a local file: "file:" + path, so that a name such as "clip:1.mp4"
// is never taken for a network protocol.
std::string LocalFileUrl(const std::string& utf8Path);

// Size, modification time and identity of a regular file, to notice an input that changes while it is read.
struct FileIdentity {
    bool regularFile = false;
    unsigned long long device = 0, inode = 0;
    long long size = 0, modifiedNs = 0;
    bool operator==(const FileIdentity&) const = default;
};
FileIdentity IdentifyFile(const std::string& utf8Path);

// Creates an empty file; fails with AVERROR(EEXIST) when anything exists at the path, or another
// negative AVERROR(errno) when it cannot be created.
int CreateOutputExclusively(const std::string& utf8Path);

// Opens the empty file that CreateOutputExclusively made, for writing from its start. It is not truncated:
// truncating a file on ext4 marks it to be flushed to disk when it is closed, which cost a batch of
// stream copies about a tenth of its time.
int OpenCreatedOutput(AVIOContext** pb, const std::string& utf8Path);

// Removes a file that the worker itself created; errors are ignored.
void RemoveCreatedOutput(const std::string& utf8Path);

} // namespace quarnix
