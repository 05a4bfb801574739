// What the media module (libquarnix-media.so, the one part of the program linked against FFmpeg) offers the
// engine: the demuxer's probe, the preview picture, the remux and re-encode of a batch entry, and its library
// log. The engine obtains it on first use (MediaLibraries.h); the module is built from the same sources in
// the same build, and the version below refuses a module of another build.
#pragma once

#include "engine/batch/EntryRecord.h"
#include "engine/probe/MediaProbe.h"
#include "engine/probe/PreviewPicture.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace quarnix {

// Raised whenever the interface below or a type it passes changes.
inline constexpr int kMediaModuleVersion = 1;

// An entry the module converted: its record (the module's own state, destroyed through EntryRecord) and
// whether the output folder is gone.
struct ConvertedEntry {
    std::unique_ptr<EntryRecord> entry;
    EntryEnd end = EntryEnd::kDone;
};

// Remuxes or re-encodes one entry from the request in `request` (CopyEntryRequest); the in-place step is
// skipped when the worker has already tried it (inPlaceTried).
ConvertedEntry ConvertWithMedia(CConvertJob& job, const EntryRecord& request, bool inPlaceTried);

class MediaModule {
public:
    // The probe by the demuxer (ProbeMedia without the box reading's answer).
    virtual MediaFacts ProbeWithDemuxer(const std::string& utf8Path, const std::atomic<std::uint8_t>* cancel,
                                        ProbeDepth depth) const = 0;
    // The demuxer's stream descriptions of a file in the library log (at information level).
    virtual void DescribeStreams(const std::string& utf8Path,
                                 const std::atomic<std::uint8_t>* cancel) const = 0;
    virtual std::optional<PreviewPicture>
    MakePreviewPicture(const std::string& utf8Path, int maxSide,
                       const std::atomic<std::uint8_t>* cancel) const = 0;
    virtual ConvertedEntry ConvertEntry(CConvertJob& job, const EntryRecord& request,
                                        bool inPlaceTried) const = 0;
    // The library log: its level, a line written to it, and the text of a library error code.
    virtual void SetLogLevel(int level) const = 0;
    virtual int LogLevel() const = 0;
    virtual void Log(int level, const char* line) const = 0;
    virtual std::string ErrorText(int errorCode) const = 0;

protected:
    ~MediaModule() = default;
};

} // namespace quarnix

// The module's one entry point: its interface, or null when `version` is not the module's.
extern "C" __attribute__((visibility("default"))) const quarnix::MediaModule*
quarnix_media_module(int version);
