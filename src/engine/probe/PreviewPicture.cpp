#include "engine/probe/PreviewPicture.h"

#include "engine/media/MediaLibraries.h"

namespace quarnix {

std::optional<PreviewPicture> MakePreviewPicture(const std::string& utf8Path, int maxSide,
                                                 const std::atomic<std::uint8_t>* cancel) {
    // Without the media libraries there is no picture; the row shows none, as for a file that has none.
    const MediaModule* media = LoadMediaLibraries().module;
    return media != nullptr ? media->MakePreviewPicture(utf8Path, maxSide, cancel) : std::nullopt;
}

} // namespace quarnix
