// The media module, loaded on first use: quarnix and quarnix-cli carry no FFmpeg library, so starting them,
// probing a QuickTime-family file by its boxes and marking files in place load none. The module is looked
// for in $QUARNIX_MEDIA_MODULE (a path), beside the executable (the build tree, a portable folder), in the
// installed layout relative to the executable, then in the installed library folder configured at build time.
// Test programs that link the module's code directly use that instead.
#pragma once

#include "engine/media/MediaModule.h"

#include <string>

namespace quarnix {

struct MediaLibraries {
    const MediaModule* module = nullptr; // null when it could not be loaded
    std::string error;                   // why not (the dynamic loader's words)
};

// Loads the module once, on the first call from any thread; later calls give the same answer at once.
const MediaLibraries& LoadMediaLibraries();

} // namespace quarnix
