#include "engine/io/FfmpegError.h"

extern "C" {
#include <libavutil/error.h>
}

namespace quarnix {

std::string FfmpegErrorText(int errorCode) {
    char buffer[AV_ERROR_MAX_STRING_SIZE] = {};
    if (av_strerror(errorCode, buffer, sizeof buffer) < 0) {
        return "Unknown media library error (" + std::to_string(errorCode) + ")";
    }
    return std::string(buffer) + " (" + std::to_string(errorCode) + ")";
}

} // namespace quarnix
