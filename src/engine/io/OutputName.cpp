#include "engine/io/OutputName.h"

#include <sys/stat.h>

namespace quarnix {

std::string FileNameOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool IsFolder(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::string NumberedOutputName(const std::string& path, int number) {
    const std::size_t slash = path.rfind('/');
    const std::size_t dot = path.rfind('.');
    const std::string suffix = "(" + std::to_string(number) + ")";
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) {
        return path + suffix;
    }
    return path.substr(0, dot) + suffix + path.substr(dot);
}

std::string ChooseOutputPath(const std::string& folder, const std::string& inputPath,
                             const std::set<std::string>& takenInBatch) {
    // lstat: a dangling link is taken too, the output could not be created there.
    const auto taken = [&takenInBatch](const std::string& path) {
        struct stat info {};
        return ::lstat(path.c_str(), &info) == 0 || takenInBatch.count(path) != 0;
    };
    const std::string first =
        (folder.empty() || folder.back() != '/' ? folder + '/' : folder) + FileNameOf(inputPath);
    std::string candidate = first;
    for (int number = 0; taken(candidate); ++number) {
        candidate = NumberedOutputName(first, number);
    }
    return candidate;
}

} // namespace quarnix
