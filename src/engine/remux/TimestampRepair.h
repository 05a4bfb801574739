// Keeps the decoding timestamps of one output stream strictly increasing before they reach the muxer,
// the way FFmpeg's command-line tool does, so that valid inputs with odd timestamps are not failed.
#pragma once

#include <cstdint>

struct AVPacket;

namespace quarnix {

class DtsRepair {
public:
    // strict: the muxer needs strictly increasing timestamps (no AVFMT_TS_NONSTRICT flag).
    explicit DtsRepair(bool strict = true) : m_strict(strict) {}

    // A packet with dts > pts gets the median of pts, dts and the next allowed dts for both; a dts at or
    // below the previous one is raised to just above it (pts follows when it would fall below).
    void Apply(AVPacket& packet);

private:
    bool m_strict;
    std::int64_t m_lastDts = INT64_MIN; // AV_NOPTS_VALUE: nothing written yet
};

} // namespace quarnix
