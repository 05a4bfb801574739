// Output files: each output is written under a hidden temporary name in the output folder, created
// exclusively and then used only through the descriptor that create returned (never reopened by a name
// someone else could change), flushed to the device, and moved to its final name through the folder's own
// descriptor, never replacing a file. A failed or stopped entry removes its temporary file; a crash leaves
// at most a hidden ".part" file, which the next batch into that folder removes (RemoveStalePartFiles).
#pragma once

#include "engine/io/FileDescriptor.h"
#include "engine/io/OutputName.h"

#include <cstdint>
#include <string>

namespace quarnix {

// The address under which FFmpeg opens a local file: "file:" + path, so that a name such as "clip:1.mp4"
// is never taken for a network protocol.
std::string LocalFileUrl(const std::string& utf8Path);

// Size, modification time, permissions and identity of a regular file, to notice an input that changes
// while it is read and to give the output the input's date.
struct FileIdentity {
    bool regularFile = false;
    unsigned long long device = 0, inode = 0;
    long long size = 0, modifiedNs = 0;
    unsigned mode = 0; // permission bits
    bool operator==(const FileIdentity&) const = default;
};
FileIdentity IdentifyFile(const std::string& utf8Path);

// True when the path, once symlinks are followed, names something other than a regular file (a FIFO, a
// device, a socket, a folder). Never opens it, so a FIFO without a writer or /dev/zero cannot hold anyone up.
// False when it does not exist: opening it says why.
bool IsNotAFile(const std::string& path);

// The folder part of a path ("." for a bare name).
std::string FolderOf(const std::string& path);

// True when the final component of the path is longer than its folder's file system allows.
bool NameTooLong(const std::string& path);

// How the finished file got its name. kPlaceholder: the file system can neither rename without replacing
// nor link, so the name was first created empty and exclusively, then the file renamed over it; a crash
// between the two steps leaves that empty file under the output's name.
enum class CommitWay { kRenamed, kLinked, kPlaceholder };

// Which step of the commit failed, so that the caller can say it in plain words.
enum class CommitStep { kNone, kFlush, kNotOurs, kFolderMoved, kRename, kOriginalChanged };

struct CommitResult {
    int error = 0; // 0, or a negative AVERROR
    CommitStep failedStep = CommitStep::kNone;
    CommitWay way = CommitWay::kRenamed;
    std::string committedPath;
};

// The last way of RenameNoReplace, for file systems without either (exFAT through FUSE): creates `to` in
// the folder exclusively and empty, then renames `from` over it. 0, or a negative AVERROR (EEXIST when `to`
// is taken; nothing was changed then).
int PlaceholderRename(int folderFd, const std::string& from, const std::string& to, CommitWay& way);

// One entry's temporary output: the folder held open (so a folder moved away is still the one written
// to, and the file is removed from it), the descriptor of the exclusive create, and the file's identity.
// The writer holds an exclusive lock on the file until it is committed or removed, which tells a part
// file being written from a stale one.
class CreatedOutput {
public:
    CreatedOutput() = default;
    CreatedOutput(const CreatedOutput&) = delete;
    CreatedOutput& operator=(const CreatedOutput&) = delete;
    ~CreatedOutput();

    // Creates ".<name>.part-XXXXXX" beside finalPath (mode 0666 less the umask, as a normal output),
    // opened for reading and writing and locked. Returns 0 or a negative AVERROR(errno); folderGone is set
    // when the folder itself could not be opened or no longer exists.
    int Create(const std::string& finalPath, bool& folderGone);

    bool created() const { return m_file.get() >= 0; }
    int fd() const { return m_file.get(); }
    const std::string& tempPath() const { return m_tempPath; }

    // Whether the temporary name still names this very file (same device and inode, not a symlink).
    bool StillOurs() const;
    // Whether the folder's path no longer names the folder the file was created in (moved or removed).
    bool FolderMoved() const;

    // Starts writing the file's dirty pages to the device and returns at once.
    void StartWriteback() const;

    // Gives the file the input's modification time (nanoseconds) and permissions, where the file system
    // allows; failures are ignored (FAT keeps no permissions).
    void KeepDateAndMode(const FileIdentity& input);

    // Flushes the file to the device, checks it is still ours under its temporary name, moves it to
    // finalPath without replacing anything (numbered when taken), checks it is ours under that name and
    // flushes the folder. On success the file is no longer removed by Remove() or the destructor.
    CommitResult Commit(const std::string& finalPath);
    // Flushes the complete file and puts it in the original's place in one rename, which replaces the
    // original: only when the original (same folder as the file) is still the very file that was read
    // (device, inode, size and modification time as in `original`); otherwise nothing is replaced and the
    // step kOriginalChanged fails. The folder is flushed afterwards.
    CommitResult CommitOver(const std::string& originalPath, const FileIdentity& original);
    // Removes the original beside the committed file (an output whose name changed), through the folder's
    // descriptor and only while it is still the very file that was read. 0 or a negative AVERROR.
    static int RemoveOriginal(const std::string& originalPath, const FileIdentity& original);

    // Removes the temporary file through the folder's descriptor, only while its name is still this file;
    // the lock is released. Nothing happens after a commit.
    void Remove();

private:
    // What both commits check first: the file flushed to the device, its folder still where it was, the
    // temporary name still this very file. failedStep is kNone when all hold.
    CommitResult FlushedAndStillOurs() const;
    FileDescriptor m_folder;
    FileDescriptor m_file;
    std::string m_folderPath;
    std::string m_name; // the temporary file's name within the folder
    std::string m_tempPath;
    unsigned long long m_device = 0, m_inode = 0;
    unsigned long long m_folderDevice = 0, m_folderInode = 0;
};

// Starts the kernel's write-back of a file being written every kWritebackBytes, so that the final flush
// before its rename has little left to wait for.
class WritebackStarter {
public:
    static constexpr std::uint64_t kWritebackBytes = std::uint64_t{32} << 20;
    explicit WritebackStarter(int fd) : m_fd(fd) {}
    void Wrote(std::uint64_t bytes);

private:
    int m_fd;
    std::uint64_t m_pending = 0;
};

// Removes the part files of earlier runs in the folder: hidden files named ".<name>.part-XXXXXX" that no
// writer holds locked. Never removes anything else: not a symlink, not a folder, not a file that a running
// batch (of this or another process) is writing. Returns how many were removed.
int RemoveStalePartFiles(const std::string& folder);

// Whether a file name is one that CreatedOutput::Create makes.
bool IsPartFileName(const std::string& name);

} // namespace quarnix
