#include "engine/batch/FilePercent.h"

#include <cmath>

namespace quarnix {

std::int32_t ComputeFilePercent(double audioClock, double videoClock, double span) {
    const double clock = videoClock > audioClock ? videoClock : audioClock;
    const double percent = std::trunc(clock * 100.0 / span);
    if (!std::isfinite(percent) || percent < 0.0) {
        return 0;
    }
    return percent > 100.0 ? 100 : static_cast<std::int32_t>(percent);
}

} // namespace quarnix
