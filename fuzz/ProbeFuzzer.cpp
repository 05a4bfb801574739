// Fuzz target: the media probe on arbitrary file contents.
#include "FuzzInput.h"
#include "engine/probe/MediaProbe.h"

extern "C" {
#include <libavutil/log.h>
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string path = quarnix::fuzz::ScratchPath(".media");
    av_log_set_level(AV_LOG_QUIET);
    if (!quarnix::fuzz::WriteBytes(path, data, size)) {
        return 0;
    }
    quarnix::ProbeMedia(path);
    return 0;
}
