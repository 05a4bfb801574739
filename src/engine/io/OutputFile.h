// Output files: each output is written under a hidden temporary name in the output folder, created
// exclusively, and moved to its final name only when it is complete, never replacing a file. A failed or
// stopped entry removes its temporary file; a crash leaves at most a hidden ".part" file.
#pragma once

#include <string>

struct AVIOContext;
struct AVIOInterruptCB;

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

// The folder part of a path ("." for a bare name).
std::string FolderOf(const std::string& path);

// True when the final component of the path is longer than its folder's file system allows.
bool NameTooLong(const std::string& path);

// An empty temporary file beside finalPath: ".<name>.part-XXXXXX", created exclusively (mode 0666 less the
// umask, as a normal output). Returns 0 and sets tempPath, or a negative AVERROR(errno).
int CreateTemporaryOutput(const std::string& finalPath, std::string& tempPath);

// Moves the complete temporary file to finalPath without replacing anything; when that name is taken (or
// appeared meanwhile) the first free of name(0).ext, name(1).ext, ... is used (NumberedOutputName). Returns 0
// and sets committedPath, or a negative AVERROR(errno) (the temporary file is then left for the caller to
// remove).
int CommitOutput(const std::string& tempPath, const std::string& finalPath, std::string& committedPath);

// Opens the empty file that CreateTemporaryOutput made, for writing from its start. It is not truncated:
// truncating a file on ext4 marks it to be flushed to disk when it is closed, which cost a batch of
// stream copies about a tenth of its time. The interrupt callback, when given, lets a cancel end waits.
int OpenCreatedOutput(AVIOContext** pb, const std::string& utf8Path,
                      const AVIOInterruptCB* interrupt = nullptr);

// Removes a file that the worker itself created; errors are ignored.
void RemoveCreatedOutput(const std::string& utf8Path);

} // namespace quarnix
