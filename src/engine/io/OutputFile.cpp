#include "engine/io/OutputFile.h"

#include "engine/io/OutputName.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

extern "C" {
#include <libavformat/avio.h>
#include <libavutil/dict.h>
#include <libavutil/error.h>
}

namespace quarnix {

namespace {

// The bytes of the final name that the temporary name keeps, so that it stays within NAME_MAX.
constexpr std::size_t kTempNameKeep = 200;
constexpr int kMaxNumberedNames = 100000;

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

// rename without replacing: renameat2(RENAME_NOREPLACE) where the kernel and file system have it, else
// link + unlink, which also never replaces.
int RenameNoReplace(const std::string& from, const std::string& to) {
#if defined(SYS_renameat2)
    constexpr unsigned kRenameNoReplace = 1; // RENAME_NOREPLACE
    if (syscall(SYS_renameat2, AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), kRenameNoReplace) == 0) {
        return 0;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return AVERROR(errno);
    }
#endif
    if (::link(from.c_str(), to.c_str()) != 0) {
        return AVERROR(errno);
    }
    ::unlink(from.c_str());
    return 0;
}

} // namespace

std::string LocalFileUrl(const std::string& utf8Path) {
    return "file:" + utf8Path;
}

FileIdentity IdentifyFile(const std::string& utf8Path) {
    FileIdentity identity;
    struct stat info {};
    if (stat(utf8Path.c_str(), &info) == 0 && S_ISREG(info.st_mode)) {
        identity = {true, static_cast<unsigned long long>(info.st_dev),
                    static_cast<unsigned long long>(info.st_ino), static_cast<long long>(info.st_size),
                    static_cast<long long>(info.st_mtim.tv_sec) * 1000000000LL + info.st_mtim.tv_nsec};
    }
    return identity;
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

int CreateTemporaryOutput(const std::string& finalPath, std::string& tempPath) {
    std::string name =
        FolderOf(finalPath) + "/." + CutName(FileNameOf(finalPath), kTempNameKeep) + ".part-XXXXXX";
    const int fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0) {
        return AVERROR(errno != 0 ? errno : EIO);
    }
    // mkostemp makes the file private (0600); an output is an ordinary file of the user's.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);
    ::close(fd);
    tempPath = name;
    return 0;
}

int CommitOutput(const std::string& tempPath, const std::string& finalPath, std::string& committedPath) {
    for (int number = -1; number < kMaxNumberedNames; ++number) {
        const std::string candidate = number < 0 ? finalPath : NumberedOutputName(finalPath, number);
        const int rc = RenameNoReplace(tempPath, candidate);
        if (rc == 0) {
            committedPath = candidate;
            return 0;
        }
        if (rc != AVERROR(EEXIST)) {
            return rc;
        }
    }
    return AVERROR(EEXIST);
}

int OpenCreatedOutput(AVIOContext** pb, const std::string& utf8Path, const AVIOInterruptCB* interrupt) {
    AVDictionary* options = nullptr;
    if (int rc = av_dict_set(&options, "truncate", "0", 0); rc < 0) {
        return rc;
    }
    const int rc = avio_open2(pb, LocalFileUrl(utf8Path).c_str(), AVIO_FLAG_WRITE, interrupt, &options);
    av_dict_free(&options);
    return rc;
}

void RemoveCreatedOutput(const std::string& utf8Path) {
    std::remove(utf8Path.c_str());
}

} // namespace quarnix
