// The media module's entry point: its interface over the module's FFmpeg code.
#include "engine/media/MediaModule.h"

#include "engine/EngineLog.h"
#include "engine/io/FfmpegError.h"
#include "engine/probe/DemuxerProbe.h"
#include "engine/probe/PreviewDecoding.h"

extern "C" {
#include <libavutil/log.h>
}

namespace quarnix {

namespace {

class FfmpegMediaModule final : public MediaModule {
public:
    MediaFacts ProbeWithDemuxer(const std::string& utf8Path, const std::atomic<std::uint8_t>* cancel,
                                ProbeDepth depth) const override {
        return quarnix::ProbeWithDemuxer(utf8Path, cancel, depth);
    }
    void DescribeStreams(const std::string& utf8Path,
                         const std::atomic<std::uint8_t>* cancel) const override {
        quarnix::DescribeStreams(utf8Path, cancel);
    }
    std::optional<PreviewPicture> MakePreviewPicture(const std::string& utf8Path, int maxSide,
                                                     const std::atomic<std::uint8_t>* cancel) const override {
        return DecodePreviewPicture(utf8Path, maxSide, cancel);
    }
    ConvertedEntry ConvertEntry(CConvertJob& job, const EntryRecord& request,
                                bool inPlaceTried) const override {
        return ConvertWithMedia(job, request, inPlaceTried);
    }
    void SetLogLevel(int level) const override { av_log_set_level(level); }
    int LogLevel() const override { return av_log_get_level(); }
    void Log(int level, const char* line) const override { av_log(nullptr, level, "%s", line); }
    std::string ErrorText(int errorCode) const override { return FfmpegErrorText(errorCode); }
};

const FfmpegMediaModule kModule;

// The module's own copy of the engine's shared steps logs into the library log as well.
void WriteToLibraryLog(int level, const char* line) {
    av_log(nullptr, level, "%s", line);
}
const LogTarget kLibraryLog{&WriteToLibraryLog, &FfmpegErrorText, &av_log_set_level, &av_log_get_level};

} // namespace

} // namespace quarnix

extern "C" const quarnix::MediaModule* quarnix_media_module(int version) {
    if (version != quarnix::kMediaModuleVersion) {
        return nullptr;
    }
    quarnix::UseLogTarget(&quarnix::kLibraryLog);
    return &quarnix::kModule;
}
