// The preview picture made by the decoder, in the media module (MakePreviewPicture is its front).
#pragma once

#include "engine/probe/PreviewPicture.h"

namespace quarnix {

std::optional<PreviewPicture> DecodePreviewPicture(const std::string& utf8Path, int maxSide,
                                                   const std::atomic<std::uint8_t>* cancel);

} // namespace quarnix
