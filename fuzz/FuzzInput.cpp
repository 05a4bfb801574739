#include "FuzzInput.h"

#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <unistd.h>

namespace quarnix::fuzz {

std::string ScratchPath(const char* suffix) {
    const std::filesystem::path dir = std::filesystem::exists("/dev/shm")
                                          ? std::filesystem::path("/dev/shm")
                                          : std::filesystem::temp_directory_path();
    return (dir / ("quarnix-fuzz-" + std::to_string(getpid()) + suffix)).string();
}

bool WriteBytes(const std::string& path, const std::uint8_t* data, std::size_t size) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        return false;
    }
    const bool written = std::fwrite(data, 1, size, file) == size;
    return std::fclose(file) == 0 && written;
}

int CreateFreshFile(const std::string& path) {
    unlink(path.c_str());
    return open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
}

} // namespace quarnix::fuzz
