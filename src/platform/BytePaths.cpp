#include "platform/BytePaths.h"

#include "platform/FileSystem.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace quarnix {

std::string FileNameOfBytes(const std::string& path) {
    for (std::size_t i = path.size(); i > 0; --i) {
        if (path[i - 1] == '/') {
            return path.substr(i);
        }
    }
    return path;
}

bool PathExistsBytes(const std::string& path) {
    struct stat info {};
    return !path.empty() && lstat(path.c_str(), &info) == 0;
}

bool IsFolderBytes(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::string MakeOutputPathBytes(const std::string& folder, const std::string& inputPath,
                                const std::set<std::string>& takenInBatch) {
    const std::string name = FileNameOfBytes(inputPath);
    const std::size_t nameDot = name.rfind('.');
    const std::string base = nameDot == std::string::npos ? name : name.substr(0, nameDot);
    const std::size_t pathDot = inputPath.rfind('.');
    const std::string dottedExtension = pathDot == std::string::npos ? inputPath : inputPath.substr(pathDot);

    std::string prefix = folder;
    if (prefix.empty() || prefix.back() != '/') {
        prefix += '/';
    }
    const std::string first = prefix + base + dottedExtension;
    const std::size_t split = first.rfind('.');
    const std::string head = split == std::string::npos ? first : first.substr(0, split);
    const std::string tail = split == std::string::npos ? std::string() : first.substr(split);
    std::string candidate = first;
    for (int k = 0; PathExistsBytes(candidate) || takenInBatch.count(candidate) != 0; ++k) {
        candidate = head + "(" + std::to_string(k) + ")" + tail;
    }
    return candidate;
}

bool WriteProbeFileBytes(const std::string& folder) {
    const std::string prefix = folder.empty() || folder.back() != '/' ? folder + "/" : folder;
    const std::string probe = prefix + kWriteProbeFileName;
    int fd = open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) {
        close(fd);
        unlink(probe.c_str());
        return true;
    }
    if (errno != EEXIST) {
        return false;
    }
    // Someone else's file has the test name: never touch it, test with a unique name instead.
    std::string unique = prefix + "jlewhqlhqwenqfwk-XXXXXX.mp4";
    fd = mkstemps(unique.data(), 4);
    if (fd < 0) {
        return false;
    }
    close(fd);
    unlink(unique.c_str());
    return true;
}

bool HasRoomForBytes(const std::string& folder, const std::vector<std::string>& inputs) {
    std::int64_t required = 0;
    for (const std::string& input : inputs) {
        struct stat info {};
        if (stat(input.c_str(), &info) == 0 && S_ISREG(info.st_mode)) {
            required += info.st_size;
        }
    }
    struct statvfs volume {};
    const std::int64_t freeBytes =
        statvfs(folder.c_str(), &volume) == 0
            ? static_cast<std::int64_t>(volume.f_bfree) * static_cast<std::int64_t>(volume.f_frsize)
            : -1;
    return RoomSuffices(freeBytes, required);
}

} // namespace quarnix
