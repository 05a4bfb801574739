// A QuickTime movie's duration in microseconds, for the probe's acceptance by the boxes.
#pragma once

#include <cstdint>
#include <limits>

namespace quarnix {

// A movie duration in microseconds, rounded to nearest as the demuxer rounds it (libavutil's av_rescale
// for a time scale below 2^31, written out so that the box reading needs no media library); INT64_MIN when
// it does not fit, as the demuxer gives then. duration is at most INT64_MAX, timescale at most INT32_MAX.
inline std::int64_t RescaledToMicroseconds(std::uint64_t duration, std::uint32_t timescale) {
    constexpr std::int64_t kMicroseconds = 1000000;
    const auto a = static_cast<std::int64_t>(duration);
    const auto c = static_cast<std::int64_t>(timescale);
    const std::int64_t half = c / 2;
    if (a < std::numeric_limits<std::int32_t>::max()) {
        return (a * kMicroseconds + half) / c;
    }
    const std::int64_t whole = a / c;
    const std::int64_t rest = (a % c * kMicroseconds + half) / c;
    if (whole >= std::numeric_limits<std::int32_t>::max() &&
        whole > (std::numeric_limits<std::int64_t>::max() - rest) / kMicroseconds) {
        return std::numeric_limits<std::int64_t>::min();
    }
    return whole * kMicroseconds + rest;
}

} // namespace quarnix
