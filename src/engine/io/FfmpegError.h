// The one place where FFmpeg error codes become text, for logs and command-line messages.
#pragma once

#include <string>

namespace quarnix {

// "Invalid data found when processing input (-1094995529)" style text for a negative library result.
std::string FfmpegErrorText(int errorCode);

} // namespace quarnix
