#include "platform/BytePaths.h"

#include "platform/FileSystem.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace quarnix {

bool PathExistsBytes(const std::string& path) {
    struct stat info {};
    return !path.empty() && lstat(path.c_str(), &info) == 0;
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
