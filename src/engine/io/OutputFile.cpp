#include "engine/io/OutputFile.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <dirent.h>
#include <fcntl.h>
#include <new>
#include <random>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <vector>

extern "C" {
#include <libavutil/error.h>
}

namespace quarnix {

namespace {

// The bytes of the final name that the temporary name keeps, so that it stays within NAME_MAX.
constexpr std::size_t kTempNameKeep = 200;
constexpr int kMaxNumberedNames = 100000;
constexpr const char kPartMark[] = ".part-";
constexpr std::size_t kRandomChars = 6;
constexpr int kCreateTries = 100;

// Cuts a UTF-8 name to at most max bytes without splitting a character.
std::string CutName(const std::string& name, std::size_t max) {
    if (name.size() <= max) {
        return name;
    }
    std::size_t end = max;
    while (end > 0 && (static_cast<unsigned char>(name[end]) & 0xC0) == 0x80) {
        --end;
    }
    return name.substr(0, end);
}

bool IsRandomChar(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

std::string RandomChars() {
    static constexpr char kChars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    thread_local std::mt19937_64 generator{std::random_device{}()};
    std::string chars(kRandomChars, 'x');
    for (char& c : chars) {
        c = kChars[generator() % (sizeof kChars - 1)];
    }
    return chars;
}

int ErrorOr(int fallback) {
    return AVERROR(errno != 0 ? errno : fallback);
}

bool SameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Whether name in the folder is, without following a symlink, the regular file open as fd.
bool NameIsFile(int folderFd, const std::string& name, int fd) {
    struct stat byName {};
    struct stat byFd {};
    return ::fstatat(folderFd, name.c_str(), &byName, AT_SYMLINK_NOFOLLOW) == 0 && ::fstat(fd, &byFd) == 0 &&
           S_ISREG(byName.st_mode) && SameFile(byName, byFd);
}

// rename within the folder without replacing: renameat2(RENAME_NOREPLACE) where the kernel and file
// system have it, else link + unlink, else (exFAT through FUSE, some network file systems) the name is
// created exclusively as an empty placeholder and the file renamed over it: only this batch made that
// placeholder, so nothing of anyone else's is replaced. EEXIST when the name is taken.
int RenameNoReplace(int folderFd, const std::string& from, const std::string& to, CommitWay& way) {
#if defined(SYS_renameat2)
    constexpr unsigned kRenameNoReplace = 1; // RENAME_NOREPLACE
    if (::syscall(SYS_renameat2, folderFd, from.c_str(), folderFd, to.c_str(), kRenameNoReplace) == 0) {
        way = CommitWay::kRenamed;
        return 0;
    }
    if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) {
        return AVERROR(errno);
    }
#endif
    if (::linkat(folderFd, from.c_str(), folderFd, to.c_str(), 0) == 0) {
        ::unlinkat(folderFd, from.c_str(), 0);
        way = CommitWay::kLinked;
        return 0;
    }
    if (errno != EPERM && errno != EOPNOTSUPP && errno != ENOSYS && errno != EINVAL && errno != EMLINK) {
        return AVERROR(errno);
    }
    return PlaceholderRename(folderFd, from, to, way);
}

} // namespace

int PlaceholderRename(int folderFd, const std::string& from, const std::string& to, CommitWay& way) {
    const int placeholder =
        ::openat(folderFd, to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (placeholder < 0) {
        return AVERROR(errno);
    }
    ::close(placeholder);
    if (::renameat(folderFd, from.c_str(), folderFd, to.c_str()) != 0) {
        const int error = errno;
        ::unlinkat(folderFd, to.c_str(), 0);
        return AVERROR(error);
    }
    way = CommitWay::kPlaceholder;
    return 0;
}

std::string LocalFileUrl(const std::string& utf8Path) {
    return "file:" + utf8Path;
}

FileIdentity IdentifyFile(const std::string& utf8Path) {
    FileIdentity identity;
    struct stat info {};
    if (::stat(utf8Path.c_str(), &info) == 0 && S_ISREG(info.st_mode)) {
        identity = {true,
                    static_cast<unsigned long long>(info.st_dev),
                    static_cast<unsigned long long>(info.st_ino),
                    static_cast<long long>(info.st_size),
                    static_cast<long long>(info.st_mtim.tv_sec) * 1000000000LL + info.st_mtim.tv_nsec,
                    static_cast<unsigned>(info.st_mode & 07777)};
    }
    return identity;
}

bool IsNotAFile(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode);
}

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

bool NameTooLong(const std::string& path) {
    long limit = ::pathconf(FolderOf(path).c_str(), _PC_NAME_MAX);
    if (limit <= 0) {
        limit = NAME_MAX;
    }
    return FileNameOf(path).size() > static_cast<std::size_t>(limit);
}

bool IsPartFileName(const std::string& name) {
    constexpr std::size_t kMark = sizeof kPartMark - 1;
    if (name.size() < 1 + kMark + kRandomChars || name[0] != '.') {
        return false;
    }
    const std::size_t markAt = name.size() - kRandomChars - kMark;
    if (markAt < 1 || name.compare(markAt, kMark, kPartMark) != 0) {
        return false;
    }
    for (std::size_t i = name.size() - kRandomChars; i < name.size(); ++i) {
        if (!IsRandomChar(name[i])) {
            return false;
        }
    }
    return true;
}

void WritebackStarter::Wrote(std::uint64_t bytes) {
    m_pending += bytes;
    if (m_pending >= kWritebackBytes) {
        m_pending = 0;
        // Asynchronous: starts writing the dirty pages of the whole file and returns.
        ::sync_file_range(m_fd, 0, 0, SYNC_FILE_RANGE_WRITE);
    }
}

CreatedOutput::~CreatedOutput() {
    Remove();
}

int CreatedOutput::Create(const std::string& finalPath, bool& folderGone) {
    folderGone = false;
    m_folderPath = FolderOf(finalPath);
    m_folder.Reset(::open(m_folderPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    struct stat folderInfo {};
    if (m_folder.get() < 0 || ::fstat(m_folder.get(), &folderInfo) != 0) {
        const int error = ErrorOr(ENOENT);
        folderGone = error == AVERROR(ENOENT) || error == AVERROR(ENOTDIR);
        return error;
    }
    m_folderDevice = folderInfo.st_dev;
    m_folderInode = folderInfo.st_ino;
    const std::string stem = "." + CutName(FileNameOf(finalPath), kTempNameKeep) + kPartMark;
    for (int attempt = 0; attempt < kCreateTries; ++attempt) {
        const std::string name = stem + RandomChars();
        FileDescriptor file(
            ::openat(m_folder.get(), name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
        if (file.get() < 0) {
            if (errno == EEXIST) {
                continue;
            }
            const int error = ErrorOr(EIO);
            struct stat now {};
            folderGone = ::fstat(m_folder.get(), &now) == 0 && now.st_nlink == 0;
            return error;
        }
        // Locked before anything is written. A batch removing stale part files may have taken this one
        // between its create and the lock: then it is unlinked (or no longer this name), and another
        // name is tried.
        // Where the file system has no locks at all, the file goes unlocked: RemoveStalePartFiles cannot
        // lock it either there, and so never takes it for stale.
        while (::flock(file.get(), LOCK_EX) != 0 && errno == EINTR) {
        }
        struct stat info {};
        if (::fstat(file.get(), &info) != 0) {
            return ErrorOr(EIO);
        }
        if (info.st_nlink == 0 || !NameIsFile(m_folder.get(), name, file.get())) {
            continue;
        }
        m_device = info.st_dev;
        m_inode = info.st_ino;
        m_name = name;
        m_tempPath = m_folderPath == "/" ? "/" + name : m_folderPath + "/" + name;
        m_file.Reset(::dup(file.get()));
        if (m_file.get() < 0) {
            ::unlinkat(m_folder.get(), name.c_str(), 0);
            return ErrorOr(EMFILE);
        }
        // dup shares the lock: it stays held while m_file is open.
        return 0;
    }
    return AVERROR(EEXIST);
}

bool CreatedOutput::StillOurs() const {
    return m_file.get() >= 0 && !m_name.empty() && NameIsFile(m_folder.get(), m_name, m_file.get());
}

bool CreatedOutput::FolderMoved() const {
    struct stat info {};
    return m_folder.get() >= 0 && (::stat(m_folderPath.c_str(), &info) != 0 ||
                                   info.st_dev != m_folderDevice || info.st_ino != m_folderInode);
}

void CreatedOutput::StartWriteback() const {
    if (m_file.get() >= 0) {
        ::sync_file_range(m_file.get(), 0, 0, SYNC_FILE_RANGE_WRITE);
    }
}

void CreatedOutput::KeepDateAndMode(const FileIdentity& input) {
    if (m_file.get() < 0 || !input.regularFile) {
        return;
    }
    const timespec times[2] = {{0, UTIME_OMIT},
                               {static_cast<time_t>(input.modifiedNs / 1000000000LL),
                                static_cast<long>(input.modifiedNs % 1000000000LL)}};
    ::futimens(m_file.get(), times);
    // Only the permission bits: set-user-id and the like are not the user's intent for a copy.
    ::fchmod(m_file.get(), static_cast<mode_t>(input.mode & 0777));
}

namespace {

// Whether the name in the folder is, without following a link, the regular file the identity describes.
bool NameIsOriginal(int folderFd, const std::string& name, const FileIdentity& original) {
    struct stat info {};
    if (::fstatat(folderFd, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(info.st_mode)) {
        return false;
    }
    const long long modifiedNs =
        static_cast<long long>(info.st_mtim.tv_sec) * 1000000000LL + info.st_mtim.tv_nsec;
    return original.regularFile && info.st_dev == original.device && info.st_ino == original.inode &&
           info.st_size == original.size && modifiedNs == original.modifiedNs;
}

} // namespace

CommitResult CreatedOutput::FlushedAndStillOurs() const {
    CommitResult result;
    const auto fail = [&result](CommitStep step, int error) {
        result.failedStep = step;
        result.error = error;
        return result;
    };
    if (m_file.get() < 0) {
        return fail(CommitStep::kNotOurs, AVERROR(EBADF));
    }
    if (::fdatasync(m_file.get()) != 0) {
        return fail(CommitStep::kFlush, ErrorOr(EIO));
    }
    if (FolderMoved()) {
        return fail(CommitStep::kFolderMoved, AVERROR(ENOENT));
    }
    if (!StillOurs()) {
        return fail(CommitStep::kNotOurs, AVERROR(ENOENT));
    }
    return result;
}

CommitResult CreatedOutput::CommitOver(const std::string& originalPath, const FileIdentity& original) {
    CommitResult result = FlushedAndStillOurs();
    if (result.failedStep != CommitStep::kNone) {
        return result;
    }
    auto fail = [&](CommitStep step, int error) {
        result.failedStep = step;
        result.error = error;
        return result;
    };
    if (FolderOf(originalPath) != m_folderPath) {
        return fail(CommitStep::kFolderMoved, AVERROR(ENOENT));
    }
    const std::string name = FileNameOf(originalPath);
    if (!NameIsOriginal(m_folder.get(), name, original)) {
        return fail(CommitStep::kOriginalChanged, AVERROR(ESTALE));
    }
    // One rename: at every moment the name holds either the whole original or the whole rotated file.
    if (::renameat(m_folder.get(), m_name.c_str(), m_folder.get(), name.c_str()) != 0) {
        return fail(CommitStep::kRename, ErrorOr(EIO));
    }
    m_name = name;
    if (!NameIsFile(m_folder.get(), name, m_file.get())) {
        m_name.clear();
        return fail(CommitStep::kNotOurs, AVERROR(ENOENT));
    }
    if (::fsync(m_folder.get()) != 0 && errno != EINVAL && errno != EROFS && errno != EOPNOTSUPP) {
        // The rename has happened: the rotated file is in place, only its folder's flush failed.
        m_name.clear();
        return fail(CommitStep::kFlush, ErrorOr(EIO));
    }
    result.committedPath = originalPath;
    m_name.clear();
    m_file.Close();
    m_folder.Close();
    return result;
}

int CreatedOutput::RemoveOriginal(const std::string& originalPath, const FileIdentity& original) {
    FileDescriptor folder(::open(FolderOf(originalPath).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.get() < 0) {
        return ErrorOr(EIO);
    }
    const std::string name = FileNameOf(originalPath);
    if (!NameIsOriginal(folder.get(), name, original)) {
        return AVERROR(ESTALE);
    }
    if (::unlinkat(folder.get(), name.c_str(), 0) != 0) {
        return ErrorOr(EIO);
    }
    if (::fsync(folder.get()) != 0 && errno != EINVAL && errno != EROFS && errno != EOPNOTSUPP) {
        return ErrorOr(EIO);
    }
    return 0;
}

CommitResult CreatedOutput::Commit(const std::string& finalPath) {
    CommitResult result = FlushedAndStillOurs();
    if (result.failedStep != CommitStep::kNone) {
        return result;
    }
    auto fail = [&](CommitStep step, int error) {
        result.failedStep = step;
        result.error = error;
        return result;
    };
    for (int number = -1; number < kMaxNumberedNames; ++number) {
        const std::string candidate = number < 0 ? finalPath : NumberedOutputName(finalPath, number);
        const std::string name = FileNameOf(candidate);
        const int rc = RenameNoReplace(m_folder.get(), m_name, name, result.way);
        if (rc == AVERROR(EEXIST)) {
            continue;
        }
        if (rc < 0) {
            return fail(CommitStep::kRename, rc);
        }
        // From here the file carries its real name: it is no longer removed as a temporary file.
        m_name = name;
        if (!NameIsFile(m_folder.get(), name, m_file.get())) {
            m_name.clear();
            return fail(CommitStep::kNotOurs, AVERROR(ENOENT));
        }
        // The folder's entry is what makes the file findable after a power cut.
        if (::fsync(m_folder.get()) != 0 && errno != EINVAL && errno != EROFS && errno != EOPNOTSUPP) {
            const int error = ErrorOr(EIO);
            Remove();
            return fail(CommitStep::kFlush, error);
        }
        result.committedPath = candidate;
        m_name.clear();
        m_file.Close();
        m_folder.Close();
        return result;
    }
    return fail(CommitStep::kRename, AVERROR(EEXIST));
}

void CreatedOutput::Remove() {
    if (m_file.get() >= 0 && !m_name.empty() && StillOurs()) {
        ::unlinkat(m_folder.get(), m_name.c_str(), 0);
    }
    m_name.clear();
    m_file.Close();
    m_folder.Close();
}

int RemoveStalePartFiles(const std::string& folder) {
    FileDescriptor folderFd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folderFd.get() < 0) {
        return 0;
    }
    const int listFd = ::dup(folderFd.get());
    if (listFd < 0) {
        return 0;
    }
    DIR* listing = ::fdopendir(listFd);
    if (listing == nullptr) {
        ::close(listFd);
        return 0;
    }
    std::vector<std::string> candidates;
    while (const dirent* entry = ::readdir(listing)) {
        if (IsPartFileName(entry->d_name)) {
            candidates.emplace_back(entry->d_name);
        }
    }
    ::closedir(listing);
    int removed = 0;
    for (const std::string& name : candidates) {
        FileDescriptor file(::openat(folderFd.get(), name.c_str(),
                                     O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
        struct stat info {};
        if (file.get() < 0 || ::fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
            continue;
        }
        // A writer holds its lock until its file is renamed or removed: a file nobody holds is stale.
        if (::flock(file.get(), LOCK_EX | LOCK_NB) != 0) {
            continue;
        }
        if (NameIsFile(folderFd.get(), name, file.get()) &&
            ::unlinkat(folderFd.get(), name.c_str(), 0) == 0) {
            ++removed;
        }
    }
    return removed;
}

} // namespace quarnix
