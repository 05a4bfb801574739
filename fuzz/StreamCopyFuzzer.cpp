// Fuzz target: one whole stream-copy conversion of arbitrary file contents into Matroska and MP4.
#include "FuzzInput.h"
#include "engine/batch/ConvertJob.h"

#include <cstdio>

extern "C" {
#include <libavutil/log.h>
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string input = quarnix::fuzz::ScratchPath(".media");
    static const std::string outputs[] = {quarnix::fuzz::ScratchPath("-out.mkv"),
                                          quarnix::fuzz::ScratchPath("-out.mp4")};
    av_log_set_level(AV_LOG_QUIET);
    if (!quarnix::fuzz::WriteBytes(input, data, size)) {
        return 0;
    }
    quarnix::CConvertJob job;
    job.PrepareEntries(2);
    job.m_inputPaths = {input, input};
    job.m_outputPaths = {outputs[0], outputs[1]};
    job.m_fileDuration[0] = job.m_fileDuration[1] = 1.0;
    job.m_rotation = 90;
    quarnix::ConvertThreadProc(&job);
    for (const std::string& output : outputs) {
        std::remove(output.c_str());
    }
    return 0;
}
